// The screen layer alone, without a window: text read as UTF-8 and measured,
// the glyph pages filling up and starting again, font files that cannot be
// read, and handles that find nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "Process.h"
#include "ScreenFiles.h"
#include "base/Log.h"
#include "s2d.h"

namespace {

// Measured from a heap block of exactly the text's bytes, no terminator, so
// that a read past the end is caught by the sanitizer builds.
float Width(const std::string& text, float size = 40) {
    std::unique_ptr<char[]> exact(new char[text.size()]);
    std::copy(text.begin(), text.end(), exact.get());
    return S2D_MeasureText(S2D_Font{0}, exact.get(), text.size(), size, 0).x;
}

class ScreenLayer : public testing::Test {
protected:
    void TearDown() override { S2D_Close(); }
};

}  // namespace

TEST_F(ScreenLayer, MalformedUtf8ReadsAsOneReplacementPerMaximalBadPart) {
    const float one = Width("\xEF\xBF\xBD");
    ASSERT_GT(one, 10);
    const struct {
        const char* bytes;
        int replacements;
    } cases[] = {
        {"\xFF", 1},                  // never a lead byte
        {"\x80", 1},                  // a stray continuation byte
        {"\xC0\xAF", 2},              // an overlong lead, then a stray continuation
        {"\xE0\x80\xAF", 3},          // overlong three-byte form
        {"\xED\xA0\x80", 3},          // a surrogate
        {"\xF4\x90\x80\x80", 4},      // past U+10FFFF
        {"\xF0\x9F\x98", 1},          // a four-byte character cut short: one part
        {"\xE2\x82", 1},              // cut short at the end of the text
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(Width(c.bytes), c.replacements * one) << "bytes " << c.bytes;
    // Good characters around a bad byte keep their own widths.
    EXPECT_FLOAT_EQ(Width("a\xFF" "b"), Width("a") + one + Width("b"));
    // A character the font lacks is the replacement glyph too; a well-formed
    // four-byte character is read whole.
    EXPECT_FLOAT_EQ(Width("\xE4\xB8\xAD"), one);
    EXPECT_FLOAT_EQ(Width("\xF0\x9F\x98\x80"), Width("\xF0\x9F\x98\x81"));
}

TEST_F(ScreenLayer, LinesTabsAndSizesMeasureAsTheyDraw) {
    const Vector2 line = S2D_MeasureText(S2D_Font{0}, "Hello", 5, 40, 0);
    const Vector2 lines = S2D_MeasureText(S2D_Font{0}, "Hello\nHi\nHello!", 15, 40, 0);
    EXPECT_FLOAT_EQ(lines.y, 3 * line.y);
    EXPECT_GT(lines.x, line.x);                                    // the widest line counts
    EXPECT_FLOAT_EQ(line.y, S2D_GetLineHeight(S2D_Font{0}, 40));
    EXPECT_FLOAT_EQ(Width("\t"), 4 * Width(" "));
    EXPECT_FLOAT_EQ(S2D_MeasureText(S2D_Font{0}, "ab", 2, 40, 3).x, Width("ab") + 3);  // spacing between, not after
    // Sizes: doubled is twice as wide (within hinting), clamped at the largest,
    // nothing for what is not a positive number.
    EXPECT_NEAR(Width("Hello", 80), 2 * Width("Hello", 40), 3);
    EXPECT_FLOAT_EQ(Width("W", 1e9f), Width("W", S2D_MAX_TEXT_SIZE));
    EXPECT_EQ(Width("W", -5), 0);
    EXPECT_EQ(Width("W", std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST_F(ScreenLayer, FullGlyphPagesStartAgainAndTextStillMeasuresTheSame) {
    // Every Cyrillic, Greek and Latin Extended character at 250 pixels fills
    // more pages than there are: the pages are emptied and filled again.
    std::string many;
    for (unsigned cp = 0x100; cp < 0x500; ++cp) {
        many += static_cast<char>(0xC0 | (cp >> 6));
        many += static_cast<char>(0x80 | (cp & 0x3F));
    }
    const float before = Width("Привет", 250);
    for (float size : {250.0f, 249.0f, 248.0f}) S2D_DrawText(S2D_Font{0}, many.data(), many.size(), {0, 0}, size, 0, WHITE);
    S2D_EndFrame();
    const S2D_Stats stats = S2D_GetFrameStats();
    EXPECT_LE(stats.glyphPages, 8);
    EXPECT_GT(stats.quads, 3 * 0x300 / 2) << "glyphs were dropped";
    EXPECT_FLOAT_EQ(Width("Привет", 250), before);
}

// Each refused handle says so once, naming the layer and the call; the font
// or image loaded after it in its place is never what it finds.
TEST_F(ScreenLayer, UnloadedClosedAndForeignHandlesFindNothingAndWarnNamingTheCall) {
    TestSupport::TempDir dir;
    const std::string sprite = dir / "sprite.png";
    ScreenFiles::WriteSprite(sprite);
    const S2D_Font regular = S2D_LoadFont(ScreenFiles::kFont);
    ASSERT_NE(regular.id, 0u);
    const float regularWidth = S2D_MeasureText(regular, "Hello", 5, 40, 0).x;
    S2D_UnloadFont(regular);
    const S2D_Font bold = S2D_LoadFont(ScreenFiles::kBoldFont);
    ASSERT_NE(bold.id, 0u);
    EXPECT_NE(bold.id, regular.id) << "a handle is never given twice";
    const S2D_Image image = S2D_LoadImage(sprite.c_str());
    ASSERT_EQ(S2D_GetImageWidth(image), 64);

    const std::string released = "font " + std::to_string(regular.id) + " was released";
    const std::string foreign = "font " + std::to_string(image.id) + " is a";
    {
        base::WarningCapture warnings;
        EXPECT_EQ(S2D_MeasureText(regular, "Hello", 5, 40, 0).x, 0);
        EXPECT_EQ(S2D_GetLineHeight(regular, 40), 0);
        S2D_DrawText(regular, "Hello", 5, {0, 0}, 40, 0, WHITE);
        S2D_UnloadFont(regular);
        EXPECT_EQ(S2D_MeasureText(S2D_Font{image.id}, "Hello", 5, 40, 0).x, 0);
        S2D_EndFrame();
        EXPECT_EQ(S2D_GetFrameStats().quads, 0) << "a released font draws nothing";
        for (const char* call : {"S2D_MeasureText", "S2D_GetLineHeight", "S2D_DrawText", "S2D_UnloadFont"})
            EXPECT_TRUE(warnings.Saw(std::string("S2D: ") + call + ": " + released)) << call << "\n" << warnings.Joined();
        EXPECT_TRUE(warnings.Saw("S2D: S2D_MeasureText: " + foreign)) << warnings.Joined();
        EXPECT_EQ(warnings.Lines().size(), 5u) << warnings.Joined();
    }
    // The bold font is still there, wider than the regular one was.
    EXPECT_GT(S2D_MeasureText(bold, "Hello", 5, 40, 0).x, regularWidth + 4);

    // After S2D_Close every handle of before finds nothing, even where a new
    // load takes the same place.
    S2D_Close();
    const S2D_Image again = S2D_LoadImage(sprite.c_str());
    EXPECT_NE(again.id, image.id);
    EXPECT_EQ(S2D_GetImageWidth(again), 64);
    {
        base::WarningCapture warnings;
        EXPECT_EQ(S2D_GetImageWidth(image), 0);
        EXPECT_EQ(S2D_GetImageHeight(image), 0);
        S2D_DrawImage(image, {0, 0, 64, 32}, {0, 0, 64, 32}, {0, 0}, 0, WHITE);
        S2D_UnloadImage(image);
        EXPECT_EQ(S2D_MeasureText(bold, "Hello", 5, 40, 0).x, 0);
        S2D_EndFrame();
        EXPECT_EQ(S2D_GetFrameStats().quads, 0);
        const std::string gone = "image " + std::to_string(image.id) + " was released";
        for (const char* call : {"S2D_GetImageWidth", "S2D_GetImageHeight", "S2D_DrawImage", "S2D_UnloadImage"})
            EXPECT_TRUE(warnings.Saw(std::string("S2D: ") + call + ": " + gone)) << call << "\n" << warnings.Joined();
        EXPECT_TRUE(warnings.Saw("S2D: S2D_MeasureText: font " + std::to_string(bold.id) + " was released"));
        // Handle 0 is the default font and the empty image: no warning.
        EXPECT_GT(S2D_MeasureText(S2D_Font{0}, "Hello", 5, 40, 0).x, 0);
        EXPECT_EQ(S2D_GetImageWidth(S2D_Image{0}), 0);
        EXPECT_EQ(warnings.Lines().size(), 5u) << warnings.Joined();
    }
    S2D_DrawImage(again, {0, 0, 64, 32}, {0, 0, 64, 32}, {0, 0}, 0, WHITE);
    S2D_EndFrame();
    EXPECT_EQ(S2D_GetFrameStats().quads, 1);
}

// A font file that cannot be read gives the default font and one warning
// with the reason; one past the size limit is refused whole, never cut.
TEST_F(ScreenLayer, FontFilesThatCannotBeReadGiveTheDefaultFontAndSayWhy) {
    TestSupport::TempDir dir;
    const std::string vast = dir / "vast.ttf";
    std::filesystem::copy_file(ScreenFiles::kFont, vast);
    std::filesystem::resize_file(vast, (64u << 20) + 1);  // sparse: takes no disk
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {dir / "missing.ttf", "the file does not exist"},
        {dir.Path(), "it is a folder, not a file"},
        {vast, "the file is larger than 64 MiB"},
    };
    for (const auto& c : cases) {
        base::WarningCapture warnings;
        EXPECT_EQ(S2D_LoadFont(c.path.c_str()).id, 0u) << c.path;
        ASSERT_EQ(warnings.Lines().size(), 1u) << warnings.Joined();
        EXPECT_EQ(warnings.Lines()[0], "S2D: could not load font \"" + c.path + "\": " + c.why + "; the default font is used");
    }
}
