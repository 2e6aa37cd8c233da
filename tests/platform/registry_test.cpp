#include "platform/error.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

RegValue Dword(uint32_t v) {
    return {REG_DWORD,
            {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(v >> 24)}};
}

RegValue Sz(const std::string& text) {
    RegValue v{REG_SZ, std::vector<uint8_t>(text.begin(), text.end())};
    v.Data.push_back(0);
    return v;
}

TEST(RegistryText, ReadsEveryValueFormAndWritesItBackTheSame) {
    const std::string text = "\xEF\xBB\xBFREGEDIT4\r\n"
                             "; a comment\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Control Panel\\desktop]\r\n"
                             "\"ScreenSaveUsePassword\"=dword:00000001\r\n"
                             "\"Short\"=dword:2a\r\n"
                             "\"Path\"=\"C:\\\\WINDOWS \\\"quoted\\\"\"\r\n"
                             "@=\"the default\"\r\n"
                             "\"Bytes\"=hex:01,ff, 7A,\\\r\n"
                             "  00\r\n"
                             "\"Empty\"=hex:\r\n"
                             "\"Expand\"=hex(2):41,00\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\n"
                             "\"x\"=\"\"\n";
    const RegistryText r = ParseRegistryText(text);
    ASSERT_EQ(r.Keys.size(), 2u);
    const RegKey& desk = r.Keys[0];
    EXPECT_EQ(desk.Path, "HKEY_CURRENT_USER\\Control Panel\\desktop");
    const std::vector<std::pair<std::string, RegValue>> expect{
        {"ScreenSaveUsePassword", Dword(1)},
        {"Short", Dword(42)},
        {"Path", Sz("C:\\WINDOWS \"quoted\"")},
        {"", Sz("the default")},
        {"Bytes", {REG_BINARY, {0x01, 0xFF, 0x7A, 0x00}}},
        {"Empty", {REG_BINARY, {}}},
        {"Expand", {2, {0x41, 0x00}}},
    };
    EXPECT_EQ(desk.Values, expect);
    EXPECT_EQ(r.Keys[1].Values[0].second, Sz(""));

    const std::string written = FormatRegistryText(r);
    EXPECT_NE(written.find("\"ScreenSaveUsePassword\"=dword:00000001\n"), std::string::npos);
    const RegistryText again = ParseRegistryText(written);
    ASSERT_EQ(again.Keys.size(), 2u);
    EXPECT_EQ(again.Keys[0].Values, expect);
    EXPECT_EQ(again.Keys[1].Values, r.Keys[1].Values);
}

TEST(RegistryText, TextThatIsNotPlainIsWrittenAsTypedBytes) {
    RegistryText r;
    RegValue noNul{REG_SZ, {'a', 'b'}};
    RegValue lineBreak = Sz("two\nlines");
    std::vector<uint8_t> many(60, 0xAB);
    r.Keys.push_back(
        {"HKEY_CURRENT_USER\\K", {{"a", noNul}, {"b", lineBreak}, {"c", {REG_BINARY, many}}}});
    const std::string text = FormatRegistryText(r);
    EXPECT_NE(text.find("\"a\"=hex(1):61,62\n"), std::string::npos) << text;
    EXPECT_EQ(ParseRegistryText(text).Keys[0].Values, r.Keys[0].Values);
}

TEST(RegistryText, ADamagedFileNamesItsLine) {
    const struct {
        const char* Text;
        const char* Expect;
    } cases[] = {
        {"[HKEY_CURRENT_USER\\A]\n", "registry.reg:1: the file does not begin with REGEDIT4"},
        {"REGEDIT4\n\"a\"=dword:1\n", "registry.reg:2: a value before the first key"},
        {"REGEDIT4\n[K]\n\"a\"=dword:123456789\n", "registry.reg:3: a dword is 1 to 8"},
        {"REGEDIT4\n[K]\n\"a\"=dword:12g4\n", "registry.reg:3: a dword is 1 to 8"},
        {"REGEDIT4\n[K]\n\"a=\"x\"\n", "registry.reg:3: a value is NAME=DATA"},
        {"REGEDIT4\n[K]\n\"a\"=\"open\n", "registry.reg:3: missing closing double quote"},
        {"REGEDIT4\n[K]\n\"a\"=\"\\n\"\n", "registry.reg:3: only"},
        {"REGEDIT4\n[K]\n\"a\"=\"x\" y\n", "registry.reg:3: text after the closing quote"},
        {"REGEDIT4\n[K]\n\"a\"=hex:1,22\n", "registry.reg:3: hex bytes"},
        {"REGEDIT4\n[K]\n\"a\"=hex:11,,22\n", "registry.reg:3: hex bytes"},
        {"REGEDIT4\n[K]\n\"a\"=hex(zz):11\n", "registry.reg:3: a typed value"},
        {"REGEDIT4\n[K]\n\"a\"=-\n", "registry.reg:3: a value is"},
        {"REGEDIT4\n[-K]\n", "registry.reg:2: key deletions"},
        {"REGEDIT4\n[\\-K]\n", "registry.reg:2: key deletions"},
        {"REGEDIT4\n[K\n", "registry.reg:2: a key is [PATH]"},
        {"REGEDIT4\n[\\\\]\n", "registry.reg:2: empty key name"},
        {"REGEDIT4\n[K]\n\"a\"=hex:01,\\\n02,\\\nzz\n", "registry.reg:3: hex bytes"},
        {"REGEDIT4\n[K]\nnonsense\n", "registry.reg:3: a name or text must be in double quotes"},
    };
    for (const auto& c : cases) {
        try {
            ParseRegistryText(c.Text);
            ADD_FAILURE() << "accepted: " << c.Text;
        } catch (const PlatformError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.Expect, 0), 0u) << c.Text << " -> " << e.what();
        }
    }
    EXPECT_TRUE(ParseRegistryText("").Keys.empty());
    EXPECT_TRUE(ParseRegistryText("\n  \n").Keys.empty());
}

class RegistryTest : public ::testing::Test {
protected:
    fs::path File() const { return m_dir / "registry.reg"; }
    std::vector<nlohmann::json> Trace(const std::string& ev) const {
        return test::Events(test::ReadTrace(m_dir / "trace.jsonl"), ev);
    }
    HKEY Open(const char* key, uint32_t access = KEY_ALL_ACCESS) {
        HKEY k = 0;
        EXPECT_EQ(m_reg.RegOpenKeyEx(HKEY_CURRENT_USER, key, access, &k), ERROR_SUCCESS) << key;
        return k;
    }
    test::TempDir m_dir;
    PathMap m_paths{m_dir.Path()};
    qv::Trace m_trace;
    Registry m_reg{m_paths, &m_trace};
    void SetUp() override { ASSERT_TRUE(m_trace.Open((m_dir / "trace.jsonl").string())); }
};

TEST_F(RegistryTest, OpeningAMissingKeyNeitherCreatesItNorTheFile) {
    HKEY k = 123;
    EXPECT_EQ(m_reg.RegOpenKeyEx(HKEY_CURRENT_USER, "Control Panel\\desktop", KEY_ALL_ACCESS, &k),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(k, 0u);
    EXPECT_FALSE(fs::exists(File()));
    EXPECT_EQ(m_reg.RegOpenKeyEx(77, "x", KEY_READ, &k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(m_reg.RegOpenKeyEx(HKEY_CURRENT_USER, "a\\\\b", KEY_READ, &k),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, WritesReadBackTypedAndMatchWithoutRegardToCase) {
    HKEY k = 0;
    ASSERT_EQ(m_reg.RegCreateKeyEx(HKEY_CURRENT_USER, "Control Panel\\desktop", KEY_ALL_ACCESS, &k),
              ERROR_SUCCESS);
    m_reg.WriteDWord(k, "ScreenSaveUsePassword", 1);
    m_reg.WriteString(k, "Wallpaper", "C:\\birds.bmp");
    EXPECT_EQ(m_reg.RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(m_reg.RegCloseKey(k), ERROR_INVALID_HANDLE);

    EXPECT_EQ(test::ReadText(File()), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\desktop]\n"
                                      "\"ScreenSaveUsePassword\"=dword:00000001\n"
                                      "\"Wallpaper\"=\"C:\\\\birds.bmp\"\n");
    struct stat st {};
    ASSERT_EQ(::stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const HKEY again = Open("control panel\\DESKTOP\\");
    EXPECT_EQ(m_reg.ReadDWord(again, "screensaveusepassword"), 1u);
    EXPECT_EQ(m_reg.ReadString(again, "WALLPAPER"), "C:\\birds.bmp");
    EXPECT_EQ(m_reg.ReadDWord(again, "Missing"), std::nullopt);
    // The parent of a key in the file is there too.
    Open("Control Panel");
    // A wrong type raises, as the GUI layer's registry object does.
    EXPECT_THROW(m_reg.ReadDWord(again, "Wallpaper"), PlatformError);
    EXPECT_THROW(m_reg.ReadString(again, "ScreenSaveUsePassword"), PlatformError);

    m_reg.WriteDWord(again, "SCREENSAVEUSEPASSWORD", 0);
    EXPECT_EQ(m_reg.ReadDWord(again, "ScreenSaveUsePassword"), 0u);
    EXPECT_EQ(m_reg.RegDeleteValue(again, "wallpaper"), ERROR_SUCCESS);
    EXPECT_EQ(m_reg.RegDeleteValue(again, "wallpaper"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(test::ReadText(File()), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\desktop]\n"
                                      "\"ScreenSaveUsePassword\"=dword:00000000\n");

    const auto reads = Trace("registry-read");
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads[0]["key"], "HKEY_CURRENT_USER\\Control Panel\\desktop");
    EXPECT_EQ(reads[0]["value"], "screensaveusepassword");
    EXPECT_EQ(reads[0]["type"], "REG_DWORD");
    const auto writes = Trace("registry-write");
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[1]["data"], 1);
    // Text values are not shown: they may be secrets.
    EXPECT_EQ(writes[2]["value"], "Wallpaper");
    EXPECT_FALSE(writes[2].contains("data"));
}

TEST_F(RegistryTest, AKeyOpenedForReadingRefusesWrites) {
    HKEY k = 0;
    ASSERT_EQ(m_reg.RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    const HKEY ro = Open("K", KEY_READ);
    const uint8_t one[4] = {1, 0, 0, 0};
    EXPECT_EQ(m_reg.RegSetValueEx(ro, "v", REG_DWORD, one), ERROR_ACCESS_DENIED);
    EXPECT_THROW(m_reg.WriteDWord(ro, "v", 1), PlatformError);
    EXPECT_EQ(m_reg.RegSetValueEx(k, "v", REG_DWORD, one), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ADamagedFileIsNeverWrittenOver) {
    const std::string damaged = "REGEDIT4\n[HKEY_CURRENT_USER\\Control Panel\\desktop]\n"
                                "\"ScreenSaveUsePassword\"=dword:1\n\"broken\n";
    test::WriteText(File(), damaged);
    HKEY k = 0;
    EXPECT_EQ(m_reg.RegOpenKeyEx(HKEY_CURRENT_USER, "Control Panel\\desktop", KEY_ALL_ACCESS, &k),
              ERROR_BADDB);
    EXPECT_EQ(m_reg.RegCreateKeyEx(HKEY_CURRENT_USER, "Other", KEY_ALL_ACCESS, &k), ERROR_BADDB);
    EXPECT_EQ(test::ReadText(File()), damaged);
    const auto notes = Trace("registry-damaged");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0]["error"].get<std::string>().find("registry.reg:4:"), std::string::npos);

    // A key opened before the damage refuses too.
    fs::remove(File());
    ASSERT_EQ(m_reg.RegCreateKeyEx(HKEY_CURRENT_USER, "Other", KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    test::WriteText(File(), damaged);
    const uint8_t one[4] = {1, 0, 0, 0};
    EXPECT_EQ(m_reg.RegSetValueEx(k, "v", REG_DWORD, one), ERROR_BADDB);
    EXPECT_THROW(m_reg.ReadDWord(k, "v"), PlatformError);
    EXPECT_EQ(test::ReadText(File()), damaged);
}

} // namespace
} // namespace qv
