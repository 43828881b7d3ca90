#include "store/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals; // NUL bytes inside literals

const char* const kStore = "[OPZIONI]\r\n"
                           "LARGHEZZA=200\r\n"
                           "ALTEZZA=150\r\n"
                           "COLORE=16777215\r\n"
                           "[0]\r\n"
                           "TITOLO=Appuntello - 12/05/2024 10:30\r\n"
                           "MESSAGE=Comprare:#@- pane#@- latte\r\n"
                           "AUDIO=C:\\voce\\spesa.wav\r\n"
                           "[1]\r\n"
                           "TITOLO=Telefonare\r\n"
                           "MESSAGE=\r\n"
                           "AUDIO=\r\n";

std::optional<std::string> Read(const std::string& file, const char* section, const char* key)
{
    return IniDocument::Parse(file).Get(section, key);
}

// The value as another reader of the written file would see it.
std::optional<std::string> ReadBack(const IniDocument& doc, const char* section, const char* key)
{
    return IniDocument::Parse(doc.Serialize()).Get(section, key);
}

// ---- Reading ----

TEST(IniDocumentRead, FindsTheStoreSettingsAndNotes)
{
    const IniDocument doc = IniDocument::Parse(kStore);
    EXPECT_EQ(doc.GetInt("OPZIONI", "LARGHEZZA", 160), 200);
    EXPECT_EQ(doc.GetInt("OPZIONI", "COLORE", 65535), 16777215);
    EXPECT_EQ(doc.Get("0", "TITOLO"), "Appuntello - 12/05/2024 10:30");
    EXPECT_EQ(doc.Get("0", "MESSAGE"), "Comprare:#@- pane#@- latte");
    EXPECT_EQ(doc.Get("0", "AUDIO"), "C:\\voce\\spesa.wav");
    EXPECT_EQ(doc.Get("1", "TITOLO"), "Telefonare");
    EXPECT_EQ(doc.Get("2", "TITOLO"), std::nullopt);
    EXPECT_EQ(doc.Get("1", "COLORE"), std::nullopt);
}

TEST(IniDocumentRead, EmptyValueIsPresentButEmpty)
{
    const IniDocument doc = IniDocument::Parse(kStore);
    EXPECT_EQ(doc.Get("1", "MESSAGE"), "");
    EXPECT_EQ(doc.Get("1", "AUDIO"), "");
}

TEST(IniDocumentRead, KeyWithoutEqualsSignHasNoValueAndHidesALaterOne)
{
    EXPECT_EQ(Read("[s]\r\nTITOLO\r\n", "s", "TITOLO"), std::nullopt);
    EXPECT_EQ(Read("[s]\r\nTITOLO\r\nTITOLO=x\r\n", "s", "TITOLO"), std::nullopt);
}

TEST(IniDocumentRead, NamesIgnoreAsciiLetterCase)
{
    const std::string file = "[Opzioni]\r\nLarghezza=300\r\n";
    EXPECT_EQ(Read(file, "OPZIONI", "LARGHEZZA"), "300");
    EXPECT_EQ(Read(file, "opzioni", "larghezza"), "300");
}

TEST(IniDocumentRead, LettersAbove127MustMatchExactly)
{
    EXPECT_EQ(Read("[citt\xe0]\r\nn\xe9=1\r\n", "citt\xe0", "n\xe9"), "1");
    EXPECT_EQ(Read("[citt\xe0]\r\nn\xe9=1\r\n", "CITT\xc0", "n\xe9"), std::nullopt);
    EXPECT_EQ(Read("[citt\xe0]\r\nn\xe9=1\r\n", "citt\xe0", "N\xc9"), std::nullopt);
}

TEST(IniDocumentRead, BlanksAroundNamesAndValuesDoNotCount)
{
    const std::string file = "  \t[ \tOPZIONI  ]  \r\n \t LARGHEZZA \t=\t 250 \x1a\v\f \r\n";
    EXPECT_EQ(Read(file, "OPZIONI", "LARGHEZZA"), "250");
    EXPECT_EQ(Read(file, " OPZIONI\t", "\tLARGHEZZA "), "250");
}

TEST(IniDocumentRead, BlanksInsideNamesAndValuesCount)
{
    const std::string file = "[a b]\r\nk  1 = x  \t y \r\n";
    EXPECT_EQ(Read(file, "a b", "k  1"), "x  \t y");
    EXPECT_EQ(Read(file, "ab", "k  1"), std::nullopt);
    EXPECT_EQ(Read(file, "a b", "k 1"), std::nullopt);
}

TEST(IniDocumentRead, OtherControlCharactersAndNoBreakSpaceAreNotBlanks)
{
    EXPECT_EQ(Read("[s]\r\na=\x1cx\x1c\r\n", "s", "a"), "\x1cx\x1c");
    EXPECT_EQ(Read("[s]\r\na=\xa0x\xa0\r\n", "s", "a"), "\xa0x\xa0");
}

TEST(IniDocumentRead, MatchingQuotesAroundTheWholeValueAreRemoved)
{
    EXPECT_EQ(Read("[s]\r\na=\"  x  \"\r\n", "s", "a"), "  x  ");
    EXPECT_EQ(Read("[s]\r\na='y'\r\n", "s", "a"), "y");
    EXPECT_EQ(Read("[s]\r\na=\"\"\r\n", "s", "a"), "");
    EXPECT_EQ(Read("[s]\r\na=\"\"\"\r\n", "s", "a"), "\"");
    EXPECT_EQ(Read("[s]\r\na=  \"q\" and \"r\"  \r\n", "s", "a"), "q\" and \"r");
}

TEST(IniDocumentRead, OtherQuotesStay)
{
    EXPECT_EQ(Read("[s]\r\na=a  \"b\"  \r\n", "s", "a"), "a  \"b\"");
    EXPECT_EQ(Read("[s]\r\na=\"x'\r\n", "s", "a"), "\"x'");
    EXPECT_EQ(Read("[s]\r\na=\"\r\n", "s", "a"), "\"");
    EXPECT_EQ(Read("[s]\r\na='\r\n", "s", "a"), "'");
    EXPECT_EQ(Read("[s]\r\na=\"x\r\n", "s", "a"), "\"x");
}

TEST(IniDocumentRead, FirstOfTwoEqualKeysCounts)
{
    EXPECT_EQ(Read("[s]\r\na=1\r\nA=2\r\n", "s", "a"), "1");
}

TEST(IniDocumentRead, FirstOfTwoEqualSectionsCountsAndTheyAreNotMerged)
{
    const std::string file =
        "[0]\r\nTITOLO=primo\r\n[1]\r\nTITOLO=x\r\n[0]\r\nTITOLO=secondo\r\nAUDIO=a.wav\r\n";
    EXPECT_EQ(Read(file, "0", "TITOLO"), "primo");
    EXPECT_EQ(Read(file, "0", "AUDIO"), std::nullopt);
}

TEST(IniDocumentRead, SectionHeaderEndsAtTheLastClosingBracket)
{
    EXPECT_EQ(Read("[s] commento\r\na=1\r\n", "s", "a"), "1");
    EXPECT_EQ(Read("[a]b] x\r\nk=1\r\n", "a]b", "k"), "1");
    EXPECT_EQ(Read("[a=b]\r\nk=1\r\n", "a=b", "k"), "1");
}

TEST(IniDocumentRead, BracketWithoutCloseIsAKeyOfTheSectionBefore)
{
    const std::string file = "[s]\r\n[t\r\nk=1\r\n";
    EXPECT_EQ(Read(file, "s", "k"), "1");
    EXPECT_EQ(Read(file, "t", "k"), std::nullopt);
    EXPECT_EQ(Read("[s]\r\n[t=5\r\n", "s", "[t"), "5");
}

TEST(IniDocumentRead, CommentLinesAreOrdinaryKeysToTheProfileFunctions)
{
    EXPECT_EQ(Read("[s]\r\n;nota=1\r\n", "s", ";nota"), "1");
    EXPECT_EQ(Read("[s]\r\n;nota=1\r\n", "s", "nota"), std::nullopt);
}

TEST(IniDocumentRead, KeysBeforeTheFirstSectionBelongToTheNamelessSection)
{
    const IniDocument doc = IniDocument::Parse("a=1\r\n=vuoto\r\n[s]\r\nb=2\r\n");
    EXPECT_EQ(doc.Get("", "a"), "1");
    EXPECT_EQ(doc.Get("", ""), "vuoto");
    EXPECT_EQ(doc.Get("s", "a"), std::nullopt);
    EXPECT_EQ(doc.Get("", "b"), std::nullopt);
}

TEST(IniDocumentRead, EmptySectionNameIsHiddenByTheNamelessSection)
{
    EXPECT_EQ(Read("[]\r\na=1\r\n", "", "a"), std::nullopt);
}

TEST(IniDocumentRead, AllLineEndsSeparateLines)
{
    EXPECT_EQ(Read("[s]\ra=1\rb=2\r", "s", "b"), "2");
    EXPECT_EQ(Read("[s]\na=1\nb=2\n", "s", "b"), "2");
    EXPECT_EQ(Read("[s]\r\n\r\n\n\ra=1\n\rb=2", "s", "b"), "2");
}

TEST(IniDocumentRead, NulEndsANameOrAValue)
{
    EXPECT_EQ(Read("[s]\r\na=x \0y\r\n"s, "s", "a"), "x ");
    EXPECT_EQ(Read("[s]\r\na\0b=5\r\n"s, "s", "a"), "5");
    EXPECT_EQ(Read("[s\0t]\r\na=5\r\n"s, "s", "a"), "5");
    EXPECT_EQ(Read("[s]\r\na=\"x\"\0y\r\n"s, "s", "a"), "x");
    EXPECT_EQ(Read("[s]\r\na=\"x\0\"\r\n"s, "s", "a"), "\"x");
    EXPECT_EQ(IniDocument::Parse("[s]\r\na=1\r\n"s).Get("s\0zzz"s, "a\0zzz"s), "1");
}

TEST(IniDocumentRead, BytesAbove127AreText)
{
    std::string value;
    for (int c = 128; c < 256; ++c) {
        value += static_cast<char>(c);
    }
    EXPECT_EQ(Read("[s]\r\na=" + value + "\r\n", "s", "a"), value);
}

TEST(IniDocumentRead, VeryLongLines)
{
    const std::string value(200000, 'x');
    EXPECT_EQ(Read("[s]\r\na=" + value + "\r\nb=2\r\n", "s", "a"), value);
    EXPECT_EQ(Read("[s]\r\na=" + value + "\r\nb=2\r\n", "s", "b"), "2");
}

TEST(IniDocumentRead, HasSection)
{
    const IniDocument doc = IniDocument::Parse(kStore);
    EXPECT_TRUE(doc.HasSection("opzioni"));
    EXPECT_TRUE(doc.HasSection(" 1 "));
    EXPECT_FALSE(doc.HasSection("2"));
}

TEST(IniDocumentRead, SectionNamesInFileOrderAsWritten)
{
    const IniDocument doc = IniDocument::Parse("x=1\r\n[ Opzioni ]\r\n[]\r\n[0]\r\n[opzioni]\r\n[a]b]\r\n");
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"Opzioni", "0", "opzioni", "a]b"}));
}

// ---- GetInt, as GetPrivateProfileIntA ----

int ReadInt(const std::string& value, int defaultValue = -7)
{
    return IniDocument::Parse("[s]\r\na=" + value + "\r\n").GetInt("s", "a", defaultValue);
}

TEST(IniDocumentGetInt, DefaultWhenMissingOrEmpty)
{
    const IniDocument doc = IniDocument::Parse("[s]\r\ne=\r\nq=\"\"\r\nn\r\n");
    EXPECT_EQ(doc.GetInt("s", "missing", 160), 160);
    EXPECT_EQ(doc.GetInt("t", "e", 120), 120);
    EXPECT_EQ(doc.GetInt("s", "e", 65535), 65535);
    EXPECT_EQ(doc.GetInt("s", "q", 65535), 65535);
    EXPECT_EQ(doc.GetInt("s", "n", -1), -1);
}

TEST(IniDocumentGetInt, DecimalNumbers)
{
    EXPECT_EQ(ReadInt("160"), 160);
    EXPECT_EQ(ReadInt("-25"), -25);
    EXPECT_EQ(ReadInt("+5"), 5);
    EXPECT_EQ(ReadInt("0"), 0);
    EXPECT_EQ(ReadInt("08"), 8);
    EXPECT_EQ(ReadInt("-2147483648"), -2147483647 - 1);
}

TEST(IniDocumentGetInt, TextThatIsNoNumberGivesZeroNotTheDefault)
{
    EXPECT_EQ(ReadInt("abc"), 0);
    EXPECT_EQ(ReadInt("-"), 0);
    EXPECT_EQ(ReadInt("- 5"), 0);
    EXPECT_EQ(ReadInt(std::string("\xa0") + "5"), 0);
}

TEST(IniDocumentGetInt, StopsAtTheFirstCharacterThatIsNotADigit)
{
    EXPECT_EQ(ReadInt("-12abc"), -12);
    EXPECT_EQ(ReadInt("12 34"), 12);
    EXPECT_EQ(ReadInt("1.5"), 1);
}

TEST(IniDocumentGetInt, LowerCasePrefixesSelectTheBase)
{
    EXPECT_EQ(ReadInt("0x1F"), 31);
    EXPECT_EQ(ReadInt("0xff"), 255);
    EXPECT_EQ(ReadInt("0o17"), 15);
    EXPECT_EQ(ReadInt("0b101"), 5);
    EXPECT_EQ(ReadInt("-0x10"), -16);
    EXPECT_EQ(ReadInt("0X10"), 0);
    EXPECT_EQ(ReadInt("0x"), 0);
    EXPECT_EQ(ReadInt("0b2"), 0);
}

TEST(IniDocumentGetInt, OverflowKeepsTheLow32Bits)
{
    EXPECT_EQ(ReadInt("4294967295"), -1);
    EXPECT_EQ(ReadInt("99999999999"), 1215752191);
    EXPECT_EQ(ReadInt("0xFFFFFFFF"), -1);
}

TEST(IniDocumentGetInt, ReadsOnlyTheFirst29Characters)
{
    EXPECT_EQ(ReadInt("123456789012345678901234567890123"), 1849262357);
    EXPECT_EQ(ReadInt(std::string(28, '0') + "12"), 1);
}

TEST(IniDocumentGetInt, QuotesAndControlCharactersBeforeTheNumber)
{
    EXPECT_EQ(ReadInt("\"42\""), 42);
    EXPECT_EQ(ReadInt("\" 7\""), 7);
    EXPECT_EQ(ReadInt("'-3'"), -3);
    EXPECT_EQ(ReadInt(std::string("\x1c\x01") + "9"), 9);
}

TEST(IniDocumentGetInt, QuotedValueOfExactlyTheBufferSizeLosesItsLastDigit)
{
    // A quirk of the platform's copy into its 30-character buffer, kept to read the same.
    EXPECT_EQ(ReadInt("\"" + std::string(27, '0') + "12\""), 1);
    EXPECT_EQ(ReadInt("\"" + std::string(26, '0') + "12\""), 12);
    EXPECT_EQ(ReadInt(std::string(27, '0') + "12"), 12);
}

// ---- Round trip ----

TEST(IniDocumentRoundTrip, UnchangedDocumentGivesBackItsBytes)
{
    const std::vector<std::string> files = {
        "",
        kStore,
        "[s]\na=1\n",
        "[s]\ra=1\r",
        "[s]\r\na=1",
        "\r\n\n\r\r\n   \r\n",
        "a=1\r\n[s]\n\r\r\n[t\r\n;c\r\n=x\r\n[]\r\n[u] z\r\n  \t k \t= \"v\" \t\x1a",
        "[s]\r\na=x\0y\r\n\0\0\r\n[\0]\r\n"s,
        "[\xe0\xff]\r\n\x80\x81=\x9d\xfe\r\n",
        "\xef\xbb\xbf[s]\r\na=1\r\n",
        "[s]\r\na=" + std::string(100000, 'q') + "\n" + std::string(50000, '[') + "\r",
    };
    for (const std::string& file : files) {
        EXPECT_EQ(IniDocument::Parse(file).Serialize(), file);
    }
}

// ---- Set ----

TEST(IniDocumentSet, EmptyDocumentGetsTheLayoutOfTheProfileFunctions)
{
    IniDocument doc;
    doc.Set("0", "TITOLO", "Nota");
    doc.Set("0", "MESSAGE", "testo");
    doc.Set("OPZIONI", "LARGHEZZA", "160");
    EXPECT_EQ(doc.Serialize(), "[0]\r\nTITOLO=Nota\r\nMESSAGE=testo\r\n[OPZIONI]\r\nLARGHEZZA=160\r\n");
}

TEST(IniDocumentSet, ExistingKeyChangesInPlaceAndNothingElseDoes)
{
    IniDocument doc =
        IniDocument::Parse("; mio\n[OPZIONI]\n  Larghezza = 200  \nALTEZZA=150\n\n[0]\nTITOLO=x\n");
    doc.Set("opzioni", "LARGHEZZA", "300");
    EXPECT_EQ(doc.Serialize(), "; mio\n[OPZIONI]\n  Larghezza = 300\nALTEZZA=150\n\n[0]\nTITOLO=x\n");
}

TEST(IniDocumentSet, ValueThatAlreadyReadsTheSameLeavesTheLineAlone)
{
    const std::string file = "[s]\r\na =  \"x\"  \r\n";
    IniDocument doc = IniDocument::Parse(file);
    doc.Set("s", "a", "x");
    EXPECT_EQ(doc.Serialize(), file);
}

TEST(IniDocumentSet, ChangesTheKeyThatCountsOnly)
{
    IniDocument doc = IniDocument::Parse("[0]\r\nA=1\r\na=2\r\n[0]\r\na=3\r\n");
    doc.Set("0", "a", "9");
    EXPECT_EQ(doc.Serialize(), "[0]\r\nA=9\r\na=2\r\n[0]\r\na=3\r\n");
}

TEST(IniDocumentSet, KeyWithoutEqualsSignGetsAValue)
{
    IniDocument doc = IniDocument::Parse("[s]\r\n  AUDIO  \r\nAUDIO=x\r\n");
    doc.Set("s", "audio", "y.wav");
    EXPECT_EQ(doc.Serialize(), "[s]\r\n  AUDIO=y.wav\r\nAUDIO=x\r\n");
    EXPECT_EQ(ReadBack(doc, "s", "AUDIO"), "y.wav");
}

TEST(IniDocumentSet, MissingKeyGoesAfterTheLastLineOfTheFirstSectionOfThatName)
{
    IniDocument doc = IniDocument::Parse("[0]\nTITOLO=a\n\n\n[1]\nTITOLO=b\n[0]\nAUDIO=z\n");
    doc.Set("0", "AUDIO", "v.wav");
    EXPECT_EQ(doc.Serialize(), "[0]\nTITOLO=a\nAUDIO=v.wav\r\n\n\n[1]\nTITOLO=b\n[0]\nAUDIO=z\n");
    EXPECT_EQ(ReadBack(doc, "0", "AUDIO"), "v.wav");
}

TEST(IniDocumentSet, MissingKeyInASectionWithoutKeysFollowsItsHeader)
{
    IniDocument doc = IniDocument::Parse("[a]\r\n\r\n[b]\r\n");
    doc.Set("a", "k", "1");
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=1\r\n\r\n[b]\r\n");
}

TEST(IniDocumentSet, MissingSectionGoesAtTheEnd)
{
    IniDocument doc = IniDocument::Parse("[OPZIONI]\nALTEZZA=1\n");
    doc.Set("0", "TITOLO", "t");
    EXPECT_EQ(doc.Serialize(), "[OPZIONI]\nALTEZZA=1\n[0]\r\nTITOLO=t\r\n");
}

TEST(IniDocumentSet, LastLineWithoutLineEndGetsOne)
{
    IniDocument doc = IniDocument::Parse("[a]\r\nk=1");
    doc.Set("a", "j", "2");
    EXPECT_EQ(doc.Serialize(), "[a]\r\nk=1\r\nj=2\r\n");

    IniDocument other = IniDocument::Parse("[a]\r\nk=1");
    other.Set("b", "j", "2");
    EXPECT_EQ(other.Serialize(), "[a]\r\nk=1\r\n[b]\r\nj=2\r\n");
}

TEST(IniDocumentSet, NamelessSectionTakesKeysBeforeTheFirstHeader)
{
    IniDocument doc = IniDocument::Parse("[s]\r\na=1\r\n");
    doc.Set("", "k", "v");
    EXPECT_EQ(doc.Serialize(), "k=v\r\n[s]\r\na=1\r\n");
    EXPECT_EQ(ReadBack(doc, "", "k"), "v");
}

TEST(IniDocumentSet, EveryValueReadsBackExactly)
{
    // clang-format off
    const std::vector<std::string> values = {
        "", "plain text", " leading", "trailing ", "\tboth\t", "\x1a", " ", "\"", "'", "\"\"", "''", "\"x\"",
        "'x'", "\"x'", "x\"", "\"x", "a  \"b\"  ", "=", "a=b=c", "[s]", ";c", "#@#@", "\v\f", "\xa0nbsp\xa0",
        "\xe0\xe8\xe9\xec\xf2\xf9", "C:\\a b\\c.wav", std::string(5000, ' '), "\"" + std::string(3000, 'z') + "\""
    };
    // clang-format on
    for (const std::string& value : values) {
        IniDocument doc = IniDocument::Parse("[s]\r\nk=old\r\n");
        doc.Set("s", "k", value);
        doc.Set("s", "new", value);
        doc.Set("t", "k", value);
        EXPECT_EQ(doc.Get("s", "k"), value);
        EXPECT_EQ(ReadBack(doc, "s", "k"), value);
        EXPECT_EQ(ReadBack(doc, "s", "new"), value);
        EXPECT_EQ(ReadBack(doc, "t", "k"), value);
    }
}

TEST(IniDocumentSet, ValueCannotHoldLineBreaksOrNul)
{
    IniDocument doc;
    doc.Set("s", "a", "uno\r\ndue\rtre\n");
    doc.Set("s", "b", "x\0y"s);
    doc.Set("s", "c", "after");
    EXPECT_EQ(ReadBack(doc, "s", "a"), "unoduetre");
    EXPECT_EQ(ReadBack(doc, "s", "b"), "x");
    EXPECT_EQ(ReadBack(doc, "s", "c"), "after");
}

TEST(IniDocumentSet, PlainValuesAreWrittenAsTheyAre)
{
    EXPECT_EQ(EncodeIniValue("Appuntello - 12/05/2024"), "Appuntello - 12/05/2024");
    EXPECT_EQ(EncodeIniValue("a  \"b\""), "a  \"b\"");
    EXPECT_EQ(EncodeIniValue(" x"), "\" x\"");
    EXPECT_EQ(EncodeIniValue("'x'"), "\"'x'\"");
}

// ---- RemoveSection and RenameSection ----

TEST(IniDocumentRemoveSection, RemovesEverySectionOfThatNameAndOnlyThose)
{
    IniDocument doc =
        IniDocument::Parse("top=1\n[0]\nTITOLO=a\n\n[OPZIONI]\nALTEZZA=5\n[0]\nTITOLO=b\n[1]\nTITOLO=c\n");
    doc.RemoveSection("0");
    EXPECT_EQ(doc.Serialize(), "top=1\n[OPZIONI]\nALTEZZA=5\n[1]\nTITOLO=c\n");
    EXPECT_FALSE(doc.HasSection("0"));
    EXPECT_EQ(doc.Get("0", "TITOLO"), std::nullopt);
    EXPECT_EQ(doc.Get("1", "TITOLO"), "c");
}

TEST(IniDocumentRemoveSection, SectionSetAfterwardsStartsAnew)
{
    IniDocument doc = IniDocument::Parse("[0]\r\nTITOLO=a\r\nAUDIO=x\r\n[1]\r\nTITOLO=b");
    doc.RemoveSection("1");
    doc.RemoveSection("0");
    doc.Set("0", "TITOLO", "nuovo");
    EXPECT_EQ(doc.Serialize(), "[0]\r\nTITOLO=nuovo\r\n");
    EXPECT_EQ(doc.Get("0", "AUDIO"), std::nullopt);
}

TEST(IniDocumentRemoveSection, LastSectionGoneThenNewOneFollowsTheLineEnd)
{
    IniDocument doc = IniDocument::Parse("[a]\nk=1\n[b]\nk=2");
    doc.RemoveSection("b");
    doc.Set("c", "k", "3");
    EXPECT_EQ(doc.Serialize(), "[a]\nk=1\n[c]\r\nk=3\r\n");
}

TEST(IniDocumentRemoveSection, MissingSectionChangesNothing)
{
    IniDocument doc = IniDocument::Parse(kStore);
    doc.RemoveSection("7");
    EXPECT_EQ(doc.Serialize(), kStore);
}

TEST(IniDocumentRemoveSection, LinesBeforeTheFirstHeaderStay)
{
    IniDocument doc = IniDocument::Parse("a=1\r\n[]\r\nb=2\r\n[s]\r\n");
    doc.RemoveSection("");
    EXPECT_EQ(doc.Serialize(), "a=1\r\n[s]\r\n");
}

TEST(IniDocumentRenameSection, KeysMoveToTheNewName)
{
    IniDocument doc = IniDocument::Parse("[3]\r\nTITOLO=tre\r\n[OPZIONI]\r\nALTEZZA=1\r\n");
    doc.RenameSection("3", "10");
    EXPECT_EQ(doc.Serialize(), "[10]\r\nTITOLO=tre\r\n[OPZIONI]\r\nALTEZZA=1\r\n");
    EXPECT_EQ(doc.Get("10", "TITOLO"), "tre");
    EXPECT_FALSE(doc.HasSection("3"));
    EXPECT_EQ(ReadBack(doc, "10", "TITOLO"), "tre");
}

TEST(IniDocumentRenameSection, HeaderIsRewrittenButKeepsItsLineEnd)
{
    IniDocument doc = IniDocument::Parse("  [ 3 ] vecchio\nk=1\n");
    doc.RenameSection("3", "4");
    EXPECT_EQ(doc.Serialize(), "[4]\nk=1\n");
}

TEST(IniDocumentRenameSection, OntoAnExistingNameTheFirstInTheFileCounts)
{
    IniDocument doc = IniDocument::Parse("[5]\r\nk=early\r\n[9]\r\nk=late\r\n");
    doc.RenameSection("9", "5");
    EXPECT_EQ(doc.Get("5", "k"), "early");
    doc.RemoveSection("5");
    EXPECT_EQ(doc.Serialize(), "");

    IniDocument other = IniDocument::Parse("[5]\r\nk=early\r\n[9]\r\nk=late\r\n");
    other.RenameSection("5", "9");
    EXPECT_EQ(other.Get("9", "k"), "early");
    EXPECT_EQ(other.SectionNames(), (std::vector<std::string>{"9", "9"}));
}

TEST(IniDocumentRenameSection, SetAfterRenameWritesIntoTheRenamedSection)
{
    IniDocument doc = IniDocument::Parse("[2]\r\nTITOLO=t\r\n[OPZIONI]\r\n");
    doc.RenameSection("2", "7");
    doc.Set("7", "AUDIO", "a.wav");
    doc.Set("2", "TITOLO", "nuovo");
    EXPECT_EQ(doc.Serialize(), "[7]\r\nTITOLO=t\r\nAUDIO=a.wav\r\n[OPZIONI]\r\n[2]\r\nTITOLO=nuovo\r\n");
}

// ---- Size ----

std::string LargeStore(int notes)
{
    std::string file = "[OPZIONI]\r\nLARGHEZZA=160\r\nALTEZZA=120\r\nCOLORE=65535\r\n";
    for (int i = 0; i < notes; ++i) {
        const std::string n = std::to_string(i);
        file += "[" + n + "]\r\nTITOLO=Appuntello " + n + "\r\nMESSAGE=" + std::string(1023, 'm') +
                "\r\nAUDIO=C:\\voce\\" + n + ".wav\r\n";
    }
    return file;
}

// How long this takes is the store bench's "rewrite" figure (scripts/bench store).
TEST(IniDocumentSize, ThousandNotesLoadAndSaveBackByteForByte)
{
    const std::string file = LargeStore(1000);

    IniDocument doc = IniDocument::Parse(file);
    int loaded = 0;
    while (doc.Get(std::to_string(loaded), "TITOLO")) {
        ++loaded;
    }
    for (int i = 0; i < loaded; ++i) {
        doc.RemoveSection(std::to_string(i));
    }
    for (int i = 0; i < loaded; ++i) {
        const std::string n = std::to_string(i);
        doc.Set(n, "TITOLO", "Appuntello " + n);
        doc.Set(n, "MESSAGE", std::string(1023, 'm'));
        doc.Set(n, "AUDIO", "C:\\voce\\" + n + ".wav");
    }
    doc.Set("OPZIONI", "COLORE", "65535");
    const std::string saved = doc.Serialize();

    EXPECT_EQ(loaded, 1000);
    EXPECT_EQ(saved, file);
}

} // namespace
