#include "ui/Layout.h"

#include <gtest/gtest.h>

#include "rescue/RescueImage.h"
#include "ui/CommandLine.h"

namespace corvane::ui {
namespace {

TEST(LayoutTest, MinimisedIconIsCentredRoundingTowardZero) {
  EXPECT_EQ(MinimisedIconPosition(36, 36, 32, 32), (Point{2, 2}));
  EXPECT_EQ(MinimisedIconPosition(30, 30, 32, 32), (Point{0, 0}));  // -1 / 2 is 0
  EXPECT_EQ(MinimisedIconPosition(20, 37, 32, 32), (Point{-5, 3}));
}

TEST(LayoutTest, EveryIdFrom16To31IsTheAboutBoxCommand) {
  EXPECT_TRUE(IsAboutBoxCommand(16));
  EXPECT_TRUE(IsAboutBoxCommand(31));
  EXPECT_FALSE(IsAboutBoxCommand(15));
  EXPECT_FALSE(IsAboutBoxCommand(32));
  EXPECT_FALSE(IsAboutBoxCommand(0xF060));  // SC_CLOSE
}

TEST(LayoutTest, PicturesKeepTheirCornersWhateverTheWidth) {
  for (const int width : {640, 705, 706, 767, 768, 1024}) {
    SCOPED_TRACE(width);
    EXPECT_EQ(PictureCorner(Picture::Title, width, 480, 556, 80), (Point{10, 20}));
    const Point pie = PictureCorner(Picture::PieChart, width, 480, 182, 120);
    EXPECT_EQ(pie, (Point{width - 202, 10}));
    // The pie chart covers the end of the title below 768 pixels.
    EXPECT_EQ(pie.x < 10 + 556, width < 768);
    const Point blurb = PictureCorner(Picture::Blurb, width, 480, 656, 156);
    EXPECT_EQ(blurb, (Point{50, 324}));
    // The blurb is cut off at the right edge below 706 pixels.
    EXPECT_EQ(blurb.x + 656 > width, width < 706);
  }
}

TEST(LayoutTest, TheFirstTimeIsTakenOnce) {
  FirstTimeFlag flag;
  EXPECT_TRUE(flag.Take());
  EXPECT_FALSE(flag.Take());
  EXPECT_FALSE(flag.Take());
}

// Windows hands the program its whole command line, its own quoted name first.
TEST(LayoutTest, TheCommandLineTakesOnlyTheImageOptionWithAQuotedPath) {
  EXPECT_FALSE(ReadArguments(R"("C:\Program Files\Corvane\Corvane.exe")")->given);
  EXPECT_FALSE(ReadArguments(R"("C:\-image\Corvane.exe")")->given);
  const auto option =
      ReadArguments("\"C:\\Program Files\\Corvane.exe\" /IMAGE\t\"D:\\My Images\\r.iso\"");
  ASSERT_TRUE(option && option->given);
  EXPECT_EQ(option->path, R"(D:\My Images\r.iso)");
  // "" is a word of its own: an empty path, which names no image kind.
  const auto empty = ReadArguments("Corvane.exe\t-image \"\"");
  ASSERT_TRUE(empty && empty->given);
  EXPECT_EQ(empty->path, "");
  EXPECT_FALSE(rescue::ImageKindOf(empty->path));
  for (const char* wrong : {"Corvane.exe -image", "Corvane.exe /image=r.iso", "Corvane.exe r.iso",
                            "Corvane.exe /image r.iso /image s.iso", "Corvane.exe /?"}) {
    EXPECT_FALSE(ReadArguments(wrong)) << wrong;
  }
  // A name typed in the Save As dialog gets the chosen type's extension.
  EXPECT_EQ(rescue::WithImageExtension("rescue", rescue::ImageKind::Floppy), "rescue.img");
  EXPECT_EQ(rescue::WithImageExtension("RESCUE.ISO", rescue::ImageKind::Floppy), "RESCUE.ISO");
  EXPECT_EQ(rescue::WithImageExtension("rescue.iso.txt", rescue::ImageKind::Cd),
            "rescue.iso.txt.iso");
}

}  // namespace
}  // namespace corvane::ui
