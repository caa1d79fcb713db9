#include <gtest/gtest.h>

#include <QApplication>

// The application object must outlive every window and die before Qt's own statics.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
