#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "TestObjects.h"
#include "oleauto.h"
#include "oledb.h"

using namespace comtest;

namespace {

// Posts a new error object with the given texts as the thread's error; answers it AddRef'd.
IErrorInfo* postError(const char16_t* description, const char16_t* source) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetSource(const_cast<LPOLESTR>(source));
    IErrorInfo* info = nullptr;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    EXPECT_EQ(SetErrorInfo(0, info), S_OK);
    return info;
}

std::u16string takeDescription(IErrorInfo* info) {
    BSTR text = nullptr;
    EXPECT_EQ(info->GetDescription(&text), S_OK);
    std::u16string result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

} // namespace

TEST(ErrorInfo, GetErrorInfoTakesTheObjectAway) {
    Apartment apartment;
    IErrorInfo* posted = postError(u"Tabulka neexistuje", u"Vantrel.SQLite");
    IErrorInfo* taken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(taken, posted);
    EXPECT_EQ(takeDescription(taken), u"Tabulka neexistuje");
    BSTR source = nullptr;
    ASSERT_EQ(taken->GetSource(&source), S_OK);
    EXPECT_EQ(std::u16string(source), u"Vantrel.SQLite");
    SysFreeString(source);

    IErrorInfo* again = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_EQ(again, nullptr);
    // The caller got the thread's reference: ours plus that one.
    EXPECT_EQ(taken->Release(), 1u);
    EXPECT_EQ(posted->Release(), 0u);
}

TEST(ErrorInfo, SetErrorInfoReplacesAndReleasesThePreviousObject) {
    IErrorInfo* first = postError(u"first", u"s");
    IErrorInfo* second = postError(u"second", u"s");
    EXPECT_EQ(first->Release(), 0u); // the slot let go of it when the second came
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(second->Release(), 0u);
    IErrorInfo* none = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
}

TEST(ErrorInfo, ObjectsAreKeptPerThread) {
    IErrorInfo* mine = postError(u"main thread", u"s");
    std::u16string seenByWorker = u"unset";
    HRESULT workerFirst = E_FAIL, workerSecond = E_FAIL;
    std::thread worker([&] {
        IErrorInfo* info = nullptr;
        workerFirst = GetErrorInfo(0, &info); // nothing posted on this thread
        IErrorInfo* own = postError(u"worker", u"s");
        workerSecond = GetErrorInfo(0, &info);
        if (info) {
            seenByWorker = takeDescription(info);
            info->Release();
        }
        own->Release();
    });
    worker.join();
    EXPECT_EQ(workerFirst, S_FALSE);
    EXPECT_EQ(workerSecond, S_OK);
    EXPECT_EQ(seenByWorker, u"worker");
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(takeDescription(info), u"main thread");
    info->Release();
    mine->Release();
}

TEST(ErrorInfo, LeavingTheApartmentOrTheThreadReleasesTheObject) {
    IErrorInfo* posted = nullptr;
    {
        Apartment apartment;
        posted = postError(u"left behind", u"s");
    }
    EXPECT_EQ(posted->Release(), 0u);

    std::thread worker([&] { posted = postError(u"thread ends", u"s"); });
    worker.join();
    EXPECT_EQ(posted->Release(), 0u);
}

// Clearing an empty slot skips the slot while no thread holds an error: every way a slot
// empties (taken, replaced by none, thread end) must be counted once, or a later clear on a
// thread that does hold one would be skipped and its object kept.
TEST(ErrorInfo, ClearingStillReachesTheSlotAfterOtherThreadsHeldErrors) {
    std::thread left([] { postError(u"left at thread end", u"s")->Release(); });
    left.join();
    std::thread taken([] {
        IErrorInfo* posted = postError(u"taken", u"s");
        IErrorInfo* out = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &out), S_OK);
        out->Release();
        EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK); // already empty
        EXPECT_EQ(posted->Release(), 0u);
    });
    taken.join();
    IErrorInfo* replaced = postError(u"replaced", u"s");
    IErrorInfo* mine = postError(u"mine", u"s");
    EXPECT_EQ(replaced->Release(), 0u);
    std::thread cleared([] {
        IErrorInfo* posted = postError(u"cleared", u"s");
        EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
        EXPECT_EQ(posted->Release(), 0u);
    });
    cleared.join();

    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(mine->Release(), 0u); // the clear reached this thread's slot
    IErrorInfo* none = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(none, nullptr);

    // A thread holding an error while another clears its own empty slot keeps its object.
    IErrorInfo* held = postError(u"held", u"s");
    std::thread other([] { EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK); });
    other.join();
    IErrorInfo* out = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &out), S_OK);
    EXPECT_EQ(out, held);
    out->Release();
    EXPECT_EQ(held->Release(), 0u);
}

TEST(ErrorInfo, ErrorObjectFieldsRoundTrip) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    // Never-set texts read back as empty strings.
    EXPECT_EQ(takeDescription(info), u"");
    EXPECT_EQ(create->SetGUID(IID_IRowset), S_OK);
    EXPECT_EQ(create->SetHelpFile(const_cast<LPOLESTR>(u"help")), S_OK);
    EXPECT_EQ(create->SetHelpContext(7), S_OK);
    EXPECT_EQ(create->SetDescription(nullptr), S_OK);
    GUID guid{};
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IRowset);
    DWORD context = 0;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 7u);
    BSTR help = nullptr;
    EXPECT_EQ(info->GetHelpFile(&help), S_OK);
    EXPECT_EQ(std::u16string(help), u"help");
    SysFreeString(help);
    EXPECT_EQ(info->GetDescription(nullptr), E_INVALIDARG);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(info->QueryInterface(IID_IRowset, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(info->Release(), 1u);
    EXPECT_EQ(create->Release(), 0u);
}

TEST(ErrorInfo, BadArgumentsAreRefused) {
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(1, &info), E_INVALIDARG);
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}
