#include <gtest/gtest.h>

#include <string>

#include "vantrel/MessageBox.h"
#include "winuser.h"

namespace {

struct Recorded {
    HWND owner = reinterpret_cast<HWND>(1);
    std::string text, caption;
    UINT type = 99;
    int calls = 0;
} recorded;

int recordingHandler(HWND owner, const char* text, const char* caption, UINT type) {
    recorded.owner = owner;
    recorded.text = text ? text : "<null>";
    recorded.caption = caption ? caption : "<null>";
    recorded.type = type;
    ++recorded.calls;
    return IDCANCEL;
}

} // namespace

TEST(MessageBox, GoesToTheInstalledHandlerWithItsBytesUnchanged) {
    recorded = {};
    VantrelMessageBoxHandler before = VantrelSetMessageBoxHandler(recordingHandler);
    // Windows-1250 bytes ("Chyba p\xF8ipojen\xED") pass through untouched.
    EXPECT_EQ(MessageBoxA(nullptr, "Chyba p\xF8ipojen\xED", "OLE DB Error", MB_OK), IDCANCEL);
    EXPECT_EQ(recorded.calls, 1);
    EXPECT_EQ(recorded.owner, nullptr);
    EXPECT_EQ(recorded.text, "Chyba p\xF8ipojen\xED");
    EXPECT_EQ(recorded.caption, "OLE DB Error");
    EXPECT_EQ(recorded.type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(VantrelSetMessageBoxHandler(before), &recordingHandler);
}

TEST(MessageBox, WithoutAHandlerWritesToStandardErrorAndAnswersOk) {
    VantrelMessageBoxHandler before = VantrelSetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "\nNo Error Info posted; HResult: 0x80004005\n", "OLE DB Error",
                          MB_OK),
              IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("OLE DB Error"), std::string::npos);
    EXPECT_NE(written.find("HResult: 0x80004005"), std::string::npos);
    VantrelSetMessageBoxHandler(before);
}
