// The JSON reader and writer and the GLB container the model check rewrites files
// with: what is written back reads as what was read, escapes and all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "import/gltf/glb.h"
#include "import/gltf/json.h"

TEST(GltfJson, ADocumentWrittenBackReadsTheSameEscapesIncluded) {
    const std::string text =
        R"({"name":"caf\u00e9 \ud83d\ude00 \"q\"\t\\","lone":"\ud800x","n":[0,4294967295,2.5,-3e-2,true,false,null],"o":{}})";
    gltf::Json root;
    ASSERT_TRUE(gltf::ReadJson(text.data(), text.data() + text.size(), root));
    EXPECT_EQ(root.Get("name")->text, "caf\xC3\xA9 \xF0\x9F\x98\x80 \"q\"\t\\");
    EXPECT_EQ(root.Get("lone")->text, "\xEF\xBF\xBDx");  // half a pair: the replacement character
    EXPECT_TRUE(root.Get("n")->items[1].unsignedInteger);
    EXPECT_FALSE(root.Get("n")->items[2].unsignedInteger);

    std::string written;
    gltf::WriteJson(root, written);
    gltf::Json again;
    ASSERT_TRUE(gltf::ReadJson(written.data(), written.data() + written.size(), again)) << written;
    std::string rewritten;
    gltf::WriteJson(again, rewritten);
    EXPECT_EQ(rewritten, written);
    EXPECT_EQ(again.Get("name")->text, root.Get("name")->text);
    EXPECT_NE(written.find("4294967295"), std::string::npos) << written;

    for (const char* bad : {R"({"a":"\u12G4"})", R"({"a":1,})", R"({"a")", "[1 2]"}) {
        gltf::Json j;
        EXPECT_FALSE(gltf::ReadJson(bad, bad + strlen(bad), j)) << bad;
    }
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    gltf::Json j;
    EXPECT_FALSE(gltf::ReadJson(deep.data(), deep.data() + deep.size(), j));
    EXPECT_TRUE(gltf::ReadJson(deep.data(), deep.data() + deep.size(), j, 200));
}

TEST(GltfJson, AWrittenGlbSplitsIntoItsPaddedParts) {
    const unsigned char bin[5] = {1, 2, 3, 4, 5};
    for (bool withBin : {true, false}) {
        const std::vector<unsigned char> glb = gltf::WriteGlb("{\"a\":1}", bin, sizeof bin, withBin);
        EXPECT_EQ(glb.size() % 4, 0u);
        EXPECT_EQ(gltf::ReadU32(&glb[8]), glb.size());
        gltf::GlbParts parts;
        ASSERT_EQ(gltf::SplitGlb(glb.data(), glb.size(), parts), "");
        EXPECT_EQ(parts.version, 2u);
        EXPECT_EQ(std::string(parts.json, parts.json + parts.jsonLength), "{\"a\":1} ");
        if (withBin) {
            ASSERT_EQ(parts.binLength, 8u);
            EXPECT_EQ(std::vector<unsigned char>(parts.bin, parts.bin + 8), (std::vector<unsigned char>{1, 2, 3, 4, 5, 0, 0, 0}));
        } else {
            EXPECT_EQ(parts.bin, nullptr);
        }
        // A header claiming more than there is.
        std::vector<unsigned char> cut(glb.begin(), glb.end() - 4);
        EXPECT_NE(gltf::SplitGlb(cut.data(), cut.size(), parts), "");
    }
}
