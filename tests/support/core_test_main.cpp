#include <QCoreApplication>
#include <gtest/gtest.h>

// The tests of the Qt Core floors run on Qt Core alone: no GUI, no widgets.
int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
