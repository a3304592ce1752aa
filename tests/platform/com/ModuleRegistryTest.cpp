// The class registry on disk and the modules behind it: parsing and search order, loading and
// unloading a real module, and every kind of bad entry.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "ClassFileFixture.h"
#include "TestObjects.h"

using namespace comtest;

namespace {

constexpr const char* moduleClsid = "{6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10}";
constexpr const char* otherClsid = "{6B1F3C31-8E4A-4D2B-9C51-7A0E3D2F4B10}";
constexpr const char* thirdClsid = "{6B1F3C32-8E4A-4D2B-9C51-7A0E3D2F4B10}";

CLSID clsidOf(const char* text) {
    CLSID clsid{};
    std::u16string wide(text, text + strlen(text));
    EXPECT_EQ(CLSIDFromString(wide.c_str(), &clsid), S_OK);
    return clsid;
}

const VantrelClassRegistration* find(const std::vector<VantrelClassRegistration>& all,
                                     const char* clsid) {
    const CLSID wanted = clsidOf(clsid);
    auto it = std::find_if(all.begin(), all.end(),
                           [&](const VantrelClassRegistration& c) { return c.clsid == wanted; });
    return it == all.end() ? nullptr : &*it;
}

std::string problemsText() {
    std::string text;
    for (const VantrelClassFileProblem& p : VantrelClassFileProblems())
        text += p.file + ": " + p.problem + "\n";
    return text;
}

bool moduleLoaded(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

HRESULT create(const char* clsid, IUnknown** object) {
    return CoCreateInstance(clsidOf(clsid), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(object));
}

} // namespace

TEST_F(ClassFileTest, ReadsEveryFieldAndResolvesARelativeModuleAgainstTheFile) {
    write(envDir + "/a.class", "# comment\r\nCLSID=" + std::string(moduleClsid) +
                                   "\r\nProgID=Vantrel.ModuleTest.1\r\n"
                                   "VersionIndependentProgID=Vantrel.ModuleTest\r\n"
                                   "Description=Popis zkou\xC5\xA1ky\r\nModule=../lib/m.so\r\n"
                                   "SourceType=2\r\nParseName=parse\r\nFutureKey=ignored\r\n");
    VantrelClassRegistration r;
    ASSERT_EQ(VantrelLookupClass(clsidOf(moduleClsid), &r), S_OK) << problemsText();
    EXPECT_EQ(r.progId, u"Vantrel.ModuleTest.1");
    EXPECT_EQ(r.versionIndependentProgId, u"Vantrel.ModuleTest");
    EXPECT_EQ(r.description, u"Popis zkou\u0161ky");
    EXPECT_EQ(r.modulePath, root + "/lib/m.so");
    EXPECT_EQ(r.sourceType, 2u);
    EXPECT_EQ(r.parseName, u"parse");
    EXPECT_EQ(r.classFile, envDir + "/a.class");
    EXPECT_EQ(r.createInstance, nullptr);

    CLSID byProgId{};
    EXPECT_EQ(CLSIDFromProgID(u"vantrel.moduletest", &byProgId), S_OK);
    EXPECT_EQ(byProgId, clsidOf(moduleClsid));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(clsidOf(moduleClsid), &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Vantrel.ModuleTest.1");
    CoTaskMemFree(progId);
}

TEST_F(ClassFileTest, TheFirstClaimInSearchOrderWinsAndLaterOnesAreReported) {
    // The environment's directory comes before the user's: its CLSID and ProgID win.
    write(envDir + "/first.class", classText(moduleClsid, "Vantrel.First.1", "/m.so", "env"));
    write(userDir + "/same-clsid.class", classText(moduleClsid, "Vantrel.User.1", "/m.so", "user"));
    write(userDir + "/same-progid.class", classText(otherClsid, "VANTREL.FIRST.1", "/m.so"));
    write(userDir + "/fine.class", classText(thirdClsid, "Vantrel.Third.1", "/m.so"));

    const auto all = VantrelRegisteredClasses();
    ASSERT_NE(find(all, moduleClsid), nullptr);
    EXPECT_EQ(find(all, moduleClsid)->description, u"env");
    EXPECT_EQ(find(all, otherClsid), nullptr);
    EXPECT_NE(find(all, thirdClsid), nullptr);
    const std::string problems = problemsText();
    EXPECT_NE(problems.find(userDir + "/same-clsid.class: its CLSID"), std::string::npos)
        << problems;
    EXPECT_NE(problems.find(userDir + "/same-progid.class: its ProgID"), std::string::npos)
        << problems;
    EXPECT_NE(problems.find(envDir + "/first.class"), std::string::npos) << problems;

    const auto directories = VantrelClassDirectories();
    ASSERT_GE(directories.size(), 3u);
    EXPECT_EQ(directories[0], envDir);
    EXPECT_EQ(directories[1], userDir);
    EXPECT_EQ(directories[2], VantrelInstalledClassDirectory());
}

TEST_F(ClassFileTest, BadFilesAreSkippedWithAReasonAndTheRestIsRead) {
    write(envDir + "/good.class", classText(moduleClsid, "Vantrel.Good.1", "/m.so"));
    write(envDir + "/truncated.class", std::string("CLSID=") + otherClsid + "\nProgID=Vantrel.Tr");
    write(envDir + "/garbage.class", "this is not a class file\n");
    write(envDir + "/badguid.class", "CLSID={not-a-guid}\nModule=/m.so\n");
    write(envDir + "/badutf8.class",
          std::string("CLSID=") + thirdClsid + "\nDescription=\xC3\x28\nModule=/m.so\n");
    write(envDir + "/badtype.class", "CLSID={6B1F3C33-8E4A-4D2B-9C51-7A0E3D2F4B10}\n"
                                     "SourceType=70000\nModule=/m.so\n");
    write(envDir + "/twice.class", "CLSID={6B1F3C34-8E4A-4D2B-9C51-7A0E3D2F4B10}\n"
                                   "Module=/a.so\nModule=/b.so\n");
    write(envDir + "/badprogid.class", "CLSID={6B1F3C35-8E4A-4D2B-9C51-7A0E3D2F4B10}\n"
                                       "ProgID=9starts.with.digit\nModule=/a.so\n");
    write(envDir + "/ignored.txt", "not a .class name, never read");
    // A directory is not readable as a file, whoever runs the test.
    std::filesystem::create_directory(envDir + "/directory.class");

    const auto all = VantrelRegisteredClasses();
    EXPECT_NE(find(all, moduleClsid), nullptr);
    EXPECT_EQ(find(all, otherClsid), nullptr);
    EXPECT_EQ(find(all, thirdClsid), nullptr);

    const std::string problems = problemsText();
    for (const char* expected :
         {"truncated.class: it has no Module line", "garbage.class: line 1 is not Key=Value",
          "badguid.class: its CLSID \"{not-a-guid}\" is not a braced GUID",
          "badutf8.class: its Description is not UTF-8", "badtype.class: its SourceType",
          "twice.class: line 3 repeats Module", "badprogid.class: its ProgID",
          "directory.class: it is not a regular file"})
        EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\n" << problems;
    EXPECT_EQ(problems.find("ignored.txt"), std::string::npos);

    if (::geteuid() != 0) { // root reads whatever the mode says
        write(envDir + "/locked.class", classText(otherClsid, "Vantrel.Locked.1", "/m.so"));
        ::chmod((envDir + "/locked.class").c_str(), 0);
        EXPECT_NE(problemsText().find("locked.class: it cannot be read"), std::string::npos);
        EXPECT_NE(find(VantrelRegisteredClasses(), moduleClsid), nullptr);
    }
}

TEST_F(ClassFileTest, AClassRegisteredWhileRunningIsSeenAtTheNextLookup) {
    Apartment apartment;
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Late.1", &clsid), CO_E_CLASSSTRING);
    write(envDir + "/late.class", classText(moduleClsid, "Vantrel.Late.1", "/m.so", "before"));
    EXPECT_EQ(CLSIDFromProgID(u"Vantrel.Late.1", &clsid), S_OK);
    // Rewritten in place: same name, new content.
    write(envDir + "/late.class", classText(moduleClsid, "Vantrel.Late.2", "/m.so", "after"));
    VantrelClassRegistration r;
    ASSERT_EQ(VantrelLookupClass(clsidOf(moduleClsid), &r), S_OK);
    EXPECT_EQ(r.description, u"after");
    std::filesystem::remove(envDir + "/late.class");
    EXPECT_EQ(VantrelLookupClass(clsidOf(moduleClsid), &r), REGDB_E_CLASSNOTREG);
    IUnknown* object = nullptr;
    EXPECT_EQ(create(moduleClsid, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassFileTest, ARegisteredModuleServesItsClassAndUnloadsOnlyWhenNoObjectLives) {
    Apartment apartment;
    void* module = ::dlopen(TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    using Entry = HRESULT (*)();
    auto registerServer = reinterpret_cast<Entry>(::dlsym(module, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<Entry>(::dlsym(module, "DllUnregisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_NE(unregisterServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK) << errorText();
    ::dlclose(module);
    ASSERT_FALSE(moduleLoaded(TEST_MODULE));

    const std::string file = envDir + "/6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10.class";
    ASSERT_TRUE(std::filesystem::exists(file));
    VantrelClassRegistration r;
    ASSERT_EQ(VantrelLookupClass(clsidOf(moduleClsid), &r), S_OK);
    EXPECT_EQ(r.modulePath, std::filesystem::canonical(TEST_MODULE).string());
    EXPECT_EQ(r.progId, u"Vantrel.ModuleTest.1");

    IUnknown* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(create(moduleClsid, &first), S_OK) << errorText();
    ASSERT_EQ(create(moduleClsid, &second), S_OK);
    EXPECT_TRUE(moduleLoaded(TEST_MODULE));
    IPersist* persist = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    CLSID reported{};
    EXPECT_EQ(persist->GetClassID(&reported), S_OK);
    EXPECT_EQ(reported, clsidOf(moduleClsid));
    persist->Release();

    // Never unloaded while one of its objects lives, nor while its class object is held.
    first->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(moduleLoaded(TEST_MODULE));
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(clsidOf(moduleClsid), CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    second->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(moduleLoaded(TEST_MODULE));
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&first)),
              S_OK);
    factory->Release();
    first->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(moduleLoaded(TEST_MODULE));

    // Loaded again on the next request; aggregation is refused as the class says.
    IUnknown* outer = reinterpret_cast<IUnknown*>(&r);
    EXPECT_EQ(CoCreateInstance(clsidOf(moduleClsid), outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&first)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(first, nullptr);
    ASSERT_EQ(create(moduleClsid, &first), S_OK);
    first->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(moduleLoaded(TEST_MODULE));

    module = ::dlopen(TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    unregisterServer = reinterpret_cast<Entry>(::dlsym(module, "DllUnregisterServer"));
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(unregisterServer(), S_OK); // nothing left to remove is no failure
    ::dlclose(module);
}

TEST_F(ClassFileTest, AMissingModuleAnswersDllNotFoundNamingTheModuleAndTheFile) {
    Apartment apartment;
    write(envDir + "/gone.class", classText(moduleClsid, "Vantrel.Gone.1", root + "/gone.so"));
    IUnknown* object = nullptr;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(create(moduleClsid, &object), CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);
    const std::string text = errorText();
    EXPECT_NE(text.find(root + "/gone.so"), std::string::npos) << text;
    EXPECT_NE(text.find(envDir + "/gone.class"), std::string::npos) << text;
    EXPECT_NE(text.find("Vantrel.Gone.1"), std::string::npos) << text;
}

TEST_F(ClassFileTest, ModulesThatCannotServeAnswerErrorInDllAndNameTheModule) {
    Apartment apartment;
    write(root + "/text.so", "not an ELF file");
    const std::pair<std::string, const char*> cases[] = {
        {NO_ENTRY_MODULE, "does not export DllGetClassObject"},
        {MISSING_SYMBOL_MODULE, "vantrelSymbolNobodyDefines"},
        {root + "/text.so", "cannot be loaded"}};
    for (const auto& [module, reason] : cases) {
        write(envDir + "/broken.class", classText(moduleClsid, "Vantrel.Broken.1", module));
        IUnknown* object = nullptr;
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(create(moduleClsid, &object), CO_E_ERRORINDLL) << module;
        EXPECT_EQ(object, nullptr);
        const std::string text = errorText();
        EXPECT_NE(text.find(module), std::string::npos) << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
    }
    // Nothing else is disturbed: an in-process class still works.
    RegisteredTestClass registered;
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

TEST_F(ClassFileTest, AModuleRefusingTheClassPassesOnItsAnswer) {
    Apartment apartment;
    // The test module serves moduleClsid only.
    write(envDir + "/refused.class", classText(otherClsid, "Vantrel.Refused.1", TEST_MODULE));
    IUnknown* object = nullptr;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(create(otherClsid, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    const std::string text = errorText();
    EXPECT_NE(text.find("refused"), std::string::npos) << text;
    EXPECT_NE(text.find(otherClsid), std::string::npos) << text;
    CoFreeUnusedLibraries();
    EXPECT_FALSE(moduleLoaded(TEST_MODULE));
}

TEST_F(ClassFileTest, AnInProcessRegistrationHidesTheFileOfTheSameClass) {
    Apartment apartment;
    const std::string clsid = "{6B1F3C20-8E4A-4D2B-9C51-7A0E3D2F4B10}"; // CLSID_TestObject
    write(envDir + "/file.class",
          classText(clsid.c_str(), "Vantrel.FromFile.1", root + "/gone.so"));
    {
        RegisteredTestClass registered; // same CLSID, in-process
        ASSERT_EQ(registered.result, S_OK);
        IUnknown* object = nullptr;
        ASSERT_EQ(create(clsid.c_str(), &object), S_OK);
        object->Release();
        CLSID found{};
        EXPECT_EQ(CLSIDFromProgID(u"Vantrel.FromFile.1", &found), CO_E_CLASSSTRING);
    }
    IUnknown* object = nullptr;
    EXPECT_EQ(create(clsid.c_str(), &object), CO_E_DLLNOTFOUND);
}

TEST_F(ClassFileTest, WrittenFilesNameModulesOfTheSamePrefixRelatively) {
    const std::string prefix = root + "/prefix";
    VantrelSetRegistrationDirectory((prefix + "/share/vantrel/classes").c_str());
    VantrelClassRegistration r;
    r.clsid = clsidOf(moduleClsid);
    r.progId = u"Vantrel.Written.1";
    r.description = u"Psan\u00FD";
    r.sourceType = 1;
    r.modulePath = prefix + "/lib/vantrel/modules/m.so";
    ASSERT_EQ(VantrelWriteClassFile(r), S_OK);
    std::ifstream in(prefix + "/share/vantrel/classes/6B1F3C30-8E4A-4D2B-9C51-7A0E3D2F4B10.class");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nModule=../../../lib/vantrel/modules/m.so\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nDescription=Psan\xC3\xBD\n"), std::string::npos) << text;

    r.clsid = clsidOf(otherClsid);
    r.modulePath = "/elsewhere/m.so";
    ASSERT_EQ(VantrelWriteClassFile(r), S_OK);
    std::ifstream other(prefix +
                        "/share/vantrel/classes/6B1F3C31-8E4A-4D2B-9C51-7A0E3D2F4B10.class");
    const std::string otherText((std::istreambuf_iterator<char>(other)),
                                std::istreambuf_iterator<char>());
    EXPECT_NE(otherText.find("\nModule=/elsewhere/m.so\n"), std::string::npos) << otherText;

    r.description = u"two\nlines";
    EXPECT_EQ(VantrelWriteClassFile(r), E_INVALIDARG);
    EXPECT_EQ(VantrelRemoveClassFile(clsidOf(otherClsid)), S_OK);
    EXPECT_EQ(VantrelRemoveClassFile(clsidOf(otherClsid)), S_FALSE);

    if (::geteuid() != 0) {
        const std::string locked = root + "/locked";
        std::filesystem::create_directory(locked);
        ::chmod(locked.c_str(), 0500);
        VantrelSetRegistrationDirectory(locked.c_str());
        r.description = u"ok";
        EXPECT_EQ(VantrelWriteClassFile(r), SELFREG_E_CLASS);
    }
}
