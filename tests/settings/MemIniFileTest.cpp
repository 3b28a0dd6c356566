#include <gtest/gtest.h>

#include <string>

#include "settings/HashedStringList.h"
#include "settings/MemIniFile.h"

namespace {

using namespace std::string_literals;

std::string Reloaded(const std::string& text) {
    TMemIniFile ini;
    ini.SetText(text);
    return ini.GetText();
}

TEST(MemIniFile, ReadRules) {
    struct Row {
        const char* rule;
        std::string in, out;
    } const rows[] = {
        {"CR, LF and CR LF end lines", "[A]\rk1=1\nk2=2\r\nk3=3",
         "[A]\r\nk1=1\r\nk2=2\r\nk3=3\r\n\r\n"},
        {"LF CR is two line ends", "[A]\n\rk=1\n\r", "[A]\r\nk=1\r\n\r\n"},
        {"NUL ends the text", "[A]\r\nk=1\0k2=2\r\n[B]"s, "[A]\r\nk=1\r\n\r\n"},
        {"codes 0 to 32 trimmed", " \t[ A \x01]\x1f\r\n\x02 key \t=\t v w \x20\x7f\x10",
         "[A]\r\nkey=v w \x20\x7f\r\n\r\n"},
        {"empty and comment lines dropped", "[A]\r\n\r\n  \t\r\n; c\r\n  ;k=1\r\nk=2",
         "[A]\r\nk=2\r\n\r\n"},
        {"lines before the first section dropped", "k=0\r\nbare\r\n[A]\r\nk=1",
         "[A]\r\nk=1\r\n\r\n"},
        {"split at the first =", "[A]\r\nk = a=b = c\r\n= v", "[A]\r\nk=a=b = c\r\n=v\r\n\r\n"},
        {"bare lines kept", "[A]\r\njust words\r\n[\r\n]x[",
         "[A]\r\njust words\r\n[\r\n]x[\r\n\r\n"},
        {"header wins over =", "[a=b]\r\n[ ]\r\nk=1", "[a=b]\r\n\r\n[]\r\nk=1\r\n\r\n"},
        {"duplicate sections both kept", "[A]\r\nk=1\r\n[a]\r\nk=2",
         "[A]\r\nk=1\r\n\r\n[a]\r\nk=2\r\n\r\n"},
        {"a leading byte-order mark is read past", "\xEF\xBB\xBF[A]\r\nk=1", "[A]\r\nk=1\r\n\r\n"},
        {"a byte-order mark elsewhere is text", "[A]\r\n\xEF\xBB\xBFk=1",
         "[A]\r\n\xEF\xBB\xBFk=1\r\n\r\n"},
        {"8-bit bytes pass", "[\xe4]\r\n\xfc=\xff", "[\xe4]\r\n\xfc=\xff\r\n\r\n"},
        {"nothing", "", ""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Reloaded(r.in), r.out) << r.rule;
        EXPECT_EQ(Reloaded(r.out), r.out) << r.rule << ": a second load changes nothing";
    }
}

TEST(MemIniFile, LookUpIgnoresCaseAndFindsTheLaterDuplicate) {
    TMemIniFile ini;
    ini.SetText(
        "[TForm1]\r\nEdit2_Text=1\r\nedit2_text=2\r\nnoequals\r\n"
        "[S]\r\na=1\r\n[s]\r\nb=2\r\n");
    EXPECT_EQ(ini.ReadString("tform1", "EDIT2_TEXT", "d"), "2");
    EXPECT_FALSE(ini.ValueExists("TForm1", "noequals"));
    EXPECT_EQ(ini.ReadString("TForm1", "missing", "d"), "d");
    EXPECT_FALSE(ini.ValueExists("nosuch", "Edit2_Text"));
    // Only the later of two sections of one name is reached.
    EXPECT_EQ(ini.ReadString("S", "a", "d"), "d");
    EXPECT_EQ(ini.ReadString("S", "b", "d"), "2");
}

TEST(MemIniFile, WriteReplacesInPlaceAndAppendsWhatIsNew) {
    TMemIniFile ini;
    ini.SetText("[tform1]\r\nA=1\r\nedit2_text=old1\r\nEDIT2_TEXT=old2\r\nZ=9\r\n");
    ini.WriteString("TForm1", "Edit2_Text", "new");
    ini.WriteString("TForm1", "New", "");
    ini.WriteString("Sec2", "k", " a b;[x]\\y = \"q\" ");
    EXPECT_EQ(ini.GetText(),
              "[tform1]\r\nA=1\r\nedit2_text=old1\r\nEdit2_Text=new\r\nZ=9\r\nNew=\r\n\r\n"
              "[Sec2]\r\nk= a b;[x]\\y = \"q\" \r\n\r\n");
    EXPECT_EQ(ini.ReadString("tform1", "edit2_TEXT", "d"), "new");

    TMemIniFile again;
    again.SetText(ini.GetText());
    // Never quoted: only the blanks at the ends are lost on the way through the file.
    EXPECT_EQ(again.ReadString("Sec2", "k", "d"), "a b;[x]\\y = \"q\"");

    // What is written can always be read back whole: no control character, no line too long.
    ini.WriteString("Sec2", "c", "a\x01\x1b"s + "b\0c\x7f\td\r\n"s);
    EXPECT_EQ(ini.ReadString("Sec2", "c", "x"), "abc\td");
    EXPECT_THROW(ini.WriteString("Sec2", "c", std::string(TMemIniFile::kMaxLineLength, 'x')),
                 Exception);
    ini.WriteString("Sec2", "c", std::string(TMemIniFile::kMaxValueLength, 'x'));
    EXPECT_EQ(TMemIniFile::TextProblem(ini.GetText()), "");
}

TEST(MemIniFile, EraseSectionTakesTheLaterOfTwo) {
    TMemIniFile ini;
    ini.SetText("[X]\r\na=1\r\n[Y]\r\n[x]\r\nb=2\r\n");
    ini.EraseSection("X");
    EXPECT_EQ(ini.GetText(), "[X]\r\na=1\r\n\r\n[Y]\r\n\r\n");
    EXPECT_EQ(ini.ReadString("x", "a", "d"), "1");
}

TEST(HashedStringList, IndexesFollowEveryChange) {
    THashedStringList list;
    list.Add("a=1");
    EXPECT_EQ(list.IndexOfName("A"), 0);
    list.Add("bare");
    list.Add("A=2");
    EXPECT_EQ(list.IndexOfName("a"), 2);
    EXPECT_EQ(list.IndexOf("BARE"), 1);
    EXPECT_EQ(list.IndexOfName("bare"), -1);
    list.Delete(2);
    EXPECT_EQ(list.IndexOfName("a"), 0);
    EXPECT_EQ(list.IndexOf("A=2"), -1);
    list.Put(0, "b=1");
    EXPECT_EQ(list.IndexOfName("a"), -1);
    EXPECT_EQ(list.IndexOfName("B"), 0);
    EXPECT_EQ(list.ValueFromIndex(0), "1");
    list.Clear();
    EXPECT_EQ(list.IndexOf("bare"), -1);
}

}  // namespace
