// The main of every test program: reports reach the dialog's own front end,
// as in the program, unless a test installs another.
#include "ui/dialog_front_end.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    FrontEndScope dialog(DialogFrontEnd());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
