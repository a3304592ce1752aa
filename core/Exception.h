#pragma once
// Base of the bench's own exceptions: a message text (Windows-1250) that the application's
// default handler shows to the user.

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : text(std::move(message)) {}

    const std::string& message() const { return text; }
    const char* what() const noexcept override { return text.c_str(); }

private:
    std::string text;
};
