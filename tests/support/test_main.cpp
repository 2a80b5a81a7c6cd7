// The main of every test program. No front end is installed: until a test
// installs one, the scan reports nowhere and each question is answered -1,
// so no case can stop on a box nobody answers.
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
