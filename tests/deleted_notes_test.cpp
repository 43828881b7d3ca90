// The names and bytes of deleted notes' files, without windows.
#include "store/deleted_notes.h"

#include <gtest/gtest.h>

#include <string>

#include "base/path_parts.h"

// A person finds the file in the Recycle Bin by the store's name, the count
// and the moment; the run finds it again by the same name and no other.
TEST(DeletedNotes, TheFileIsNamedAfterTheStoreTheCountAndTheMoment)
{
    const LocalMoment when{2026, 12, 9, 10, 15, 42};
    EXPECT_EQ(DeletedNotesFileName("Appuntello.ini", 3, when),
              "Appuntello - 3 memini eliminati il 09-12-2026 alle 10.15.42.ini");
    EXPECT_EQ(DeletedNotesFileName("Note di casa.ini", 1, LocalMoment{2027, 1, 2, 3, 4, 5}),
              "Note di casa - 1 memino eliminato il 02-01-2027 alle 03.04.05.ini");
    EXPECT_EQ(DeletedNotesFileName("C:\\Dati\\Appunt\xe8llo.ini", 12, when),
              "Appunt\xe8llo - 12 memini eliminati il 09-12-2026 alle 10.15.42.ini");

    struct Case {
        const char* file;
        bool ours;
    } cases[] = {
        {"Appuntello - 3 memini eliminati il 09-12-2026 alle 10.15.42.ini", true},
        {"APPUNTELLO - 1 MEMINO ELIMINATO IL 09-12-2026 ALLE 10.15.42.INI", true},
        {"Appuntello - 3 memini eliminati il 09-12-2026 alle 10.15.42 (2).ini", true},
        {"Appuntello - 1 memini eliminati il 09-12-2026 alle 10.15.42.ini", false}, // one note is singular
        {"Appuntello - 3 memino eliminato il 09-12-2026 alle 10.15.42.ini", false},
        {"Appuntello.ini", false},
        {"Appuntello (copia in conflitto).ini", false},
        {"Altro - 3 memini eliminati il 09-12-2026 alle 10.15.42.ini", false}, // another store's
        {"Appuntello - 3 memini eliminati il 9-12-2026 alle 10.15.42.ini", false},
        {"Appuntello - 3 memini eliminati il 09-12-2026 alle 10.15.42.ini.bak", false},
        {"Appuntello - 3 memini eliminati il 09-12-2026 alle 10.15.42 (x).ini", false},
        {"Appuntello -  memini eliminati il 09-12-2026 alle 10.15.42.ini", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsDeletedNotesFileName("Appuntello.ini", c.file), c.ours) << c.file;
}

// The folders of deleted notes are found from the store's path: its folder,
// "C:\\" at a drive's root ("C:" alone names the drive's current folder),
// and its name; a file put in a root has one separator before its name.
TEST(DeletedNotes, AStoresPathSplitsIntoItsFolderAndName)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* again; // the name put back in the folder
    } cases[] = {
        {"C:\\x", "C:\\", "x", "C:\\x"},
        {"C:\\a\\b", "C:\\a", "b", "C:\\a\\b"},
        {"x", ".", "x", ".\\x"},
        {"\\\\server\\share\\x", "\\\\server\\share", "x", "\\\\server\\share\\x"},
        {"a/b", "a", "b", "a\\b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(NameOf(c.path), c.name) << c.path;
        EXPECT_EQ(InFolder(FolderOf(c.path), NameOf(c.path)), c.again) << c.path;
    }
}

// The file is a store of its own: its notes read back as they were, oldest first.
TEST(DeletedNotes, TheFileHoldsTheNotesInTheStoresFormat)
{
    const std::vector<StoredNote> notes{{"Spesa", "pane\r\nlatte", ""}, {"Chiamate", "", "C:\\v\\a.wav"}};
    const StoredRun back = StoredNotes(IniDocument::Parse(DeletedNotesBytes(notes)));
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        ASSERT_TRUE(back[i]);
        EXPECT_EQ(back[i]->title, notes[i].title);
        EXPECT_EQ(back[i]->text, notes[i].text);
        EXPECT_EQ(back[i]->voicePath, notes[i].voicePath);
    }
}

// Two stores of the same name in different folders keep apart.
TEST(DeletedNotes, TheProgramsFolderForAStoreIsNamedAfterItsFullPath)
{
    const std::string here = DeletedNotesFolderName("C:\\Appuntello\\Appuntello.ini");
    EXPECT_EQ(here, "Appuntello (aee50dac)") << "the folder that earlier versions made";
    EXPECT_EQ(here.rfind("Appuntello (", 0), 0u) << here;
    EXPECT_EQ(here.size(), std::string("Appuntello (12345678)").size()) << here;
    EXPECT_EQ(DeletedNotesFolderName("c:\\appuntello\\APPUNTELLO.INI").substr(11), here.substr(11))
        << "the same file";
    EXPECT_NE(DeletedNotesFolderName("D:\\Appuntello\\Appuntello.ini"), here);
}
