// Without its dialog template the box cannot be created: ShowMessage answers
// -1, which every caller treats as a refusal. (This program links no
// resources.)
#include "ui/show_message.h"

#include <gtest/gtest.h>

TEST(SkinnedBoxWithoutResources, CannotBeCreatedReturnsMinusOne)
{
    EXPECT_EQ(-1, ShowMessage("Terminate the Scan now?", "Scourix Ver 1.0", 0x24));
}
