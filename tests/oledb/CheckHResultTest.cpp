// The single success test and the error-information dump, in both forms.

#include "support/OleDbFixture.h"

#include "oledb/OLEDBCommunicator.h"
#include "oledb/OleString.h"

namespace {

class CheckHResultTest : public TOleDbTest {
protected:
    // Posts an error object on this thread, as a provider does before it fails a call.
    static void postError(const std::string& description, const std::string& source) {
        ICreateErrorInfo* create = nullptr;
        ASSERT_GE(CreateErrorInfo(&create), 0);
        TOleString d = toOleString(description);
        TOleString s = toOleString(source);
        create->SetDescription(d.data());
        create->SetSource(s.data());
        IErrorInfo* info = nullptr;
        ASSERT_GE(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), 0);
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
    }
};

TEST_F(CheckHResultTest, SuccessCodesPassSilentlyInBothForms) {
    for (HRESULT success : {S_OK, S_FALSE, DB_S_ENDOFROWSET, DB_S_ERRORSOCCURRED}) {
        EXPECT_NO_THROW(checkHResult(success));
        std::string text = "stale";
        checkHResult(success, text);
        EXPECT_EQ(text, "") << std::hex << success;
    }
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(CheckHResultTest, FailureWithoutErrorObjectShowsTheSecondFormThenThrowsEmpty) {
    SetErrorInfo(0, nullptr);
    try {
        checkHResult(E_FAIL);
        FAIL() << "checkHResult returned on E_FAIL";
    } catch (const EResultException& e) {
        EXPECT_EQ(e.message(), "");
    }
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "\nNo Error Info posted; HResult: 0x80004005\n");
    EXPECT_EQ(boxes.boxes()[0].caption, "OLE DB Error");
    EXPECT_EQ(boxes.boxes()[0].owner, nullptr);
    EXPECT_EQ(boxes.boxes()[0].type, static_cast<UINT>(MB_OK));
}

TEST_F(CheckHResultTest, OutTextFormGivesTheDumpWithoutBoxOrException) {
    std::string text;
    EXPECT_NO_THROW(checkHResult(DB_E_CANCELED, text));
    EXPECT_EQ(text, "\nNo Error Info posted; HResult: 0x80040e4e\n");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(CheckHResultTest, ErrorObjectGivesDescriptionAndSourceEachOnItsLineOnce) {
    postError("Tabulka \xE8\xED\x9Ala neexistuje", "Vantrel.SQLite");
    EXPECT_THROW(checkHResult(DB_E_NOTABLE), EResultException);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "\nErrorInfo:  HResult: 0x80040e37, Description: Tabulka "
                                     "\xE8\xED\x9Ala neexistuje\nSource: Vantrel.SQLite\n");

    // GetErrorInfo took the object away: the next report has none to show.
    EXPECT_THROW(checkHResult(DB_E_NOTABLE), EResultException);
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.boxes()[1].text, "\nNo Error Info posted; HResult: 0x80040e37\n");
}

TEST_F(CheckHResultTest, OutTextFormAlsoTakesTheErrorObject) {
    postError("row changed", "Vantrel.SQLite");
    std::string text;
    checkHResult(DB_E_CONCURRENCYVIOLATION, text);
    EXPECT_EQ(text, "\nErrorInfo:  HResult: 0x80040e38, Description: row changed\nSource: "
                    "Vantrel.SQLite\n");
    checkHResult(DB_E_CONCURRENCYVIOLATION, text);
    EXPECT_EQ(text, "\nNo Error Info posted; HResult: 0x80040e38\n");
}

TEST_F(CheckHResultTest, ALongProviderMessageIsKeptWhole) {
    const std::string description(600, 'd');
    const std::string source(300, 's');
    postError(description, source);
    std::string text;
    checkHResult(E_FAIL, text);
    EXPECT_EQ(text, "\nErrorInfo:  HResult: 0x80004005, Description: " + description +
                        "\nSource: " + source + "\n");
}

TEST_F(CheckHResultTest, CharactersOutsideCp1250BecomeQuestionMarks) {
    // A description posted as UTF-16 with a character cp1250 lacks (a CJK ideograph).
    ICreateErrorInfo* create = nullptr;
    ASSERT_GE(CreateErrorInfo(&create), 0);
    OLECHAR wide[] = {u'a', static_cast<OLECHAR>(0x4E2D), u'b', 0};
    OLECHAR src[] = {u's', 0};
    create->SetDescription(wide);
    create->SetSource(src);
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
    std::string text;
    checkHResult(E_FAIL, text);
    EXPECT_EQ(text, "\nErrorInfo:  HResult: 0x80004005, Description: a?b\nSource: s\n");
}

} // namespace
