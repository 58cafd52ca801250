#include "shell/ui/application.h"
#include "shell/ui/program_icon.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

// Counts pixels that are mostly opaque and of the card's blue.
int BluePixels(const QImage &image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.alpha() > 200 && c.blue() > 120 && c.red() < 100;
        }
    return n;
}

TEST(ProgramIcon, DrawnAtEverySizeAndSetForEveryWindow) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 256}) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.width(), size);
        // Transparent corners, the card drawn.
        EXPECT_EQ(image.pixelColor(0, size - 1).alpha(), 0);
        EXPECT_GT(BluePixels(image), size * size / 20);
    }
    // The disabled form is drawn too (grey, so no card blue).
    const QImage disabled = icon.pixmap(QSize(64, 64), QIcon::Disabled).toImage();
    EXPECT_EQ(BluePixels(disabled), 0);
    EXPECT_FALSE(qApp->windowIcon().isNull());
}

} // namespace

int main(int argc, char **argv) {
    // Test discovery runs it without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
