// The version resource of each program, read back through the version API as Explorer's
// Details tab reads it: the project's version in the fixed part and in the texts, the product
// name, and a description of the program's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

// The folder of this test program, where the build puts every program.
std::string programFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

struct VersionResource {
    bool found = false;
    VS_FIXEDFILEINFO fixed = {};
    std::string language;  // "040904b0": the language and code page of the texts
    std::vector<char> block;

    std::string text(const char* name) const
    {
        const std::string key = "\\StringFileInfo\\" + language + "\\" + name;
        char* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &size) ||
            !value)
            return "<missing>";
        return std::string(value, size > 0 && value[size - 1] == '\0' ? size - 1 : size);
    }
};

VersionResource readVersion(const std::string& file)
{
    VersionResource r;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) return r;
    r.block.resize(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, r.block.data())) return r;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    WORD* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueA(r.block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixedSize < sizeof *fixed ||
        !VerQueryValueA(r.block.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &translationSize) ||
        translationSize < 2 * sizeof(WORD))
        return r;
    r.fixed = *fixed;
    char language[16];
    std::snprintf(language, sizeof language, "%04x%04x", translation[0], translation[1]);
    r.language = language;
    r.found = true;
    return r;
}

// "1.0.0.0" from the fixed part.
std::string fixedVersion(DWORD ms, DWORD ls)
{
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
           std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
}

TEST(VersionResource, EveryProgramCarriesTheProjectVersion)
{
    const std::string version = KOMVAS_VERSION;
    std::set<std::string> descriptions;
    for (const std::string program : {"KOMVAS.exe", "komvas-dde.exe", "komvas-sim.exe"}) {
        SCOPED_TRACE(program);
        const VersionResource r = readVersion(programFolder() + program);
        ASSERT_TRUE(r.found) << "no version resource in " << programFolder() + program;
        EXPECT_EQ(fixedVersion(r.fixed.dwFileVersionMS, r.fixed.dwFileVersionLS), version + ".0");
        EXPECT_EQ(fixedVersion(r.fixed.dwProductVersionMS, r.fixed.dwProductVersionLS),
                  version + ".0");
        EXPECT_EQ(r.fixed.dwFileType, static_cast<DWORD>(VFT_APP));
        EXPECT_EQ(r.text("FileVersion"), version);
        EXPECT_EQ(r.text("ProductVersion"), version);
        EXPECT_EQ(r.text("ProductName"), "KOMVAS");
        EXPECT_EQ(r.text("OriginalFilename"), program);
        const std::string description = r.text("FileDescription");
        EXPECT_NE(description.find("KOMVAS"), std::string::npos) << description;
        descriptions.insert(description);
    }
    EXPECT_EQ(descriptions.size(), 3u) << "each program describes itself";
}

}  // namespace
