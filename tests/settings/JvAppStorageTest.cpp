#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/JvAppIniFileStorage.h"
#include "toolkit/StrUtils.h"

namespace {

// A store without a file name: it reads nothing and writes nothing.
struct TMemoryStore : ::testing::Test {
    TMemoryStore() { Store.SetDefaultSection("TForm1"); }
    void Load(const std::string& text) { Store.IniFile().SetText(text); }
    std::string Text() const { return Store.IniFile().GetText(); }
    TJvAppIniFileStorage Store{nullptr};
};

TEST(JvAppStorage, NormalizePath) {
    struct Row {
        std::vector<std::string> parts;
        const char* path;
    } const rows[] = {
        {{"Flags"}, "Flags"},
        {{"\\Flags"}, "Flags"},
        {{"\\\\a\\\\b\\"}, "a\\b"},
        {{".ComboBox1_Items\\Count"}, ".ComboBox1_Items\\Count"},
        {{"a\\.\\b"}, "a\\b"},
        {{"a\\b\\..\\c"}, "a\\c"},
        {{"a\\b\\c\\...\\d"}, "a\\d"},
        {{"a\\....\\b"}, "b"},  // never steps back further than the path goes
        {{"a\\..b"}, "a\\..b"},
        {{"", "Key"}, "Key"},
        {{"Sec", "Key"}, "Sec\\Key"},
        {{"a\\b", "..\\c"}, "a\\c"},
        {{"Sec", "\\Abs", "Key"}, "Abs\\Key"},
        {{"Sec", "\\Abs", "\\Last"}, "Last"},
        {{"\\First", "Key"}, "First\\Key"},
        {{}, ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TJvCustomAppStorage::NormalizePath(r.parts), r.path) << r.path;
    }
}

TEST_F(TMemoryStore, SplitSettingPath) {
    struct Row {
        const char *path, *section, *key;
    } const rows[] = {
        {"Flags", "TForm1", "Flags"},
        {"\\Flags", "TForm1", "Flags"},
        {".ComboBox1_Items\\Count", ".ComboBox1_Items", "Count"},
        {"a\\b\\c", "a\\b", "c"},
        {"x\\..\\Key", "TForm1", "Key"},
        {"", "TForm1", ""},
    };
    for (const Row& r : rows) {
        std::string section, key;
        Store.SplitSettingPath(r.path, section, key);
        EXPECT_EQ(section, r.section) << r.path;
        EXPECT_EQ(key, r.key) << r.path;
    }
}

TEST_F(TMemoryStore, ReadsTextsAndIntegers) {
    Load(
        "[tform1]\r\nempty=\r\nhex=$10\r\nneg= -5\r\nbad=12a\r\nedit2_text=x y\r\n"
        "[.ComboBox1_Items]\r\nCount=2\r\n");
    EXPECT_TRUE(Store.HasValue("Edit2_Text"));
    EXPECT_FALSE(Store.HasValue("Missing"));
    EXPECT_EQ(Store.ReadStringValue("\\EDIT2_TEXT", "d"), "x y");
    EXPECT_EQ(Store.ReadStringValue("Missing", "d"), "d");
    EXPECT_EQ(Store.ReadIntegerValue("empty", 7), 0);
    EXPECT_EQ(Store.ReadIntegerValue("hex", 7), 16);
    EXPECT_EQ(Store.ReadIntegerValue("neg", 7), -5);
    EXPECT_EQ(Store.ReadIntegerValue("Missing", 7), 7);
    EXPECT_EQ(Store.ReadIntegerValue(".combobox1_items\\count", 7), 2);
    try {
        Store.ReadIntegerValue("bad", 7);
        FAIL() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    Store.StorageOptions().DefaultIfReadConvertError = true;
    EXPECT_EQ(Store.ReadIntegerValue("bad", 7), 7);
}

TEST_F(TMemoryStore, WritesReplaceHandWrittenKeysInPlace) {
    Load("[tform1]\r\nedit2_text=old\r\nZ=1\r\n");
    Store.WriteStringValue("Edit2_Text", "45");
    Store.WriteIntegerValue("Neg", -2147483647 - 1);
    Store.WriteIntegerValue(".host_Lines\\Count", 0);
    EXPECT_EQ(Text(),
              "[tform1]\r\nEdit2_Text=45\r\nZ=1\r\nNeg=-2147483648\r\n\r\n"
              "[.host_Lines]\r\nCount=0\r\n\r\n");
}

TEST_F(TMemoryStore, DeleteBranch) {
    struct Row {
        const char* path;
        std::string before, after;
    } const rows[] = {
        {".ComboBox1_Items",
         "[TForm1]\r\n[.ComboBox1_Items]\r\nCount=1\r\n[.ComboBox1_Items2]\r\n[.host_Lines]\r\n",
         "[TForm1]\r\n\r\n[.host_Lines]\r\n\r\n"},
        // Names are compared exactly: a hand-written spelling stays.
        {".ComboBox1_Items", "[.combobox1_items]\r\nItem0=a\r\n",
         "[.combobox1_items]\r\nItem0=a\r\n\r\n"},
        {"\\.host_Lines\\", "[.host_Lines]\r\n[A]\r\n[.host_Lines]\r\n", "[A]\r\n\r\n"},
        {"", "[A]\r\n[B]\r\n", ""},
        {"Z", "[A]\r\n", "[A]\r\n\r\n"},
    };
    for (const Row& r : rows) {
        Load(r.before);
        Store.DeleteBranch(r.path);
        EXPECT_EQ(Text(), r.after) << r.path << " in " << r.before;
    }
    // What survived is found for the exact spelling and written into.
    Load("[.combobox1_items]\r\nItem0=a\r\n");
    Store.DeleteBranch(".ComboBox1_Items");
    Store.WriteStringValue(".ComboBox1_Items\\Count", "1");
    EXPECT_EQ(Text(), "[.combobox1_items]\r\nItem0=a\r\nCount=1\r\n\r\n");
}

TEST_F(TMemoryStore, SectionUndefinedWithoutDefaultSection) {
    Store.SetDefaultSection("");
    Load("[]\r\nKey=1\r\n");
    EXPECT_EQ(Store.ReadStringValue("Missing", "d"), "d");
    auto message = [](auto action) {
        try {
            action();
        } catch (const EJVCLAppStorageError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { Store.ReadStringValue("Key", "d"); }),
              "TJvAppIniFileStorage.ReadValue: Section undefined");
    EXPECT_EQ(message([&] { Store.WriteIntegerValue("Key", 2); }),
              "TJvAppIniFileStorage.WriteValue: Section undefined");
    EXPECT_EQ(message([&] { Store.WriteStringValue("S\\Key", "2"); }), "no error");
}

}  // namespace
