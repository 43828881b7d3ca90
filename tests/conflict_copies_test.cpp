// The names under which sync clients leave conflict copies beside the store,
// and the names of the user's own files that only look like them.
#include "store/conflict_copies.h"

#include <gtest/gtest.h>

TEST(ConflictCopies, EachSyncClientsCopyOfThisStoreIsRecognisedAndNoOtherFile)
{
    for (const char* copy : {"Appuntello (Mario's conflicted copy 2026-12-09).ini",
                             "appuntello (conflicted copy 2026-12-09 101500).INI",
                             "Appuntello (Mario's conflicted copy 2026-12-09) (1).ini",
                             "Appuntello (copia in conflitto di Mario 2026-12-09).ini",
                             "Appuntello.sync-conflict-20261209-101500-ABCDEF1.ini",
                             "Appuntello-PORTATILE.ini", "Appuntello-DESKTOP-4J8H2KL.ini",
                             "Appuntello-PORTATILE-2.ini", "Appuntello (1).ini", "Appuntello (12).ini"})
        EXPECT_TRUE(IsConflictCopyName("Appuntello.ini", copy)) << copy;
    for (const char* other :
         {"Appuntello.ini", "Appuntello.ini.bak", "Altro (conflicted copy 2026-12-09).ini",
          "Appuntello (conflicted copy).txt", "Appuntello (vecchio) (Mario's conflicted copy 2026-12-09).ini",
          "Appuntello (vecchio).ini", "Appuntello (vecchio) (1).ini", "Appuntello ().ini",
          "Appuntello (1a).ini", "Appuntello-vecchio.ini", "Appuntello-2024.ini", "Appuntello-.ini",
          "Appuntello-UN NOME LUNGO.ini", "Appuntello-NOMEDICOMPUTERLUNGO.ini"})
        EXPECT_FALSE(IsConflictCopyName("Appuntello.ini", other)) << other;
}
