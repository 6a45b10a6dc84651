// The firmware image the program carries and its check: SHA-256 against the FIPS 180-2
// examples, and the check that refuses bytes other than those the build hashed.
#include "firmware_image_check.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace pxr7;

namespace {

std::string hexOf(const std::string& text) {
    return sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

struct DigestCase {
    std::string message;
    const char* digest;
};

TEST(Sha256, MatchesTheFipsExamplesAndTheEmptyMessage) {
    const DigestCase cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the padding's length no longer fits the block, a second one follows.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    for (const DigestCase& c : cases) {
        EXPECT_EQ(hexOf(c.message), c.digest) << c.message.size() << " bytes";
    }
}

TEST(Sha256, AnySplitOfTheInputGivesTheSameDigest) {
    const std::string message(1000000, 'a');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    for (std::size_t chunk : {1u, 55u, 63u, 64u, 65u, 4099u}) {
        Sha256 hash;
        for (std::size_t at = 0; at < message.size(); at += chunk) {
            hash.update(bytes + at, std::min(chunk, message.size() - at));
        }
        const auto digest = hash.finish();
        EXPECT_EQ(digest[0], 0xcd) << "chunks of " << chunk;
        EXPECT_EQ(digest[31], 0xd0) << "chunks of " << chunk;
    }
}

std::vector<std::uint8_t> builtImageFile() {
    std::ifstream in(PXR7_FIRMWARE_IMAGE_PATH, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(ImageCheck, TheProgramCarriesTheImageItWasBuiltWithAndFindsIt) {
    const std::vector<std::uint8_t> file = builtImageFile();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(builtImageDigest(), sha256Hex(file.data(), file.size()));
    const ImageCheck& check = embeddedImageCheck();
    EXPECT_EQ(check.digest, builtImageDigest());
    EXPECT_TRUE(check.matches);
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    ASSERT_EQ(findEmbeddedImage(IMAGE_RESOURCE_ID, &data, &size), ImageLookup::Found);
    EXPECT_TRUE(size == file.size() && std::equal(file.begin(), file.end(), data));
    EXPECT_EQ(findEmbeddedImage(IMAGE_RESOURCE_ID + 1, &data, &size), ImageLookup::NotFound);
}

TEST(ImageCheck, BytesOtherThanTheHashedOnesAreAltered) {
    const std::vector<std::uint8_t> image = builtImageFile();
    const std::string digest = sha256Hex(image.data(), image.size());
    std::vector<std::uint8_t> flipped = image;
    flipped[flipped.size() / 2] ^= 0x01;
    const auto size = static_cast<std::uint32_t>(image.size());
    const struct {
        const char* name;
        ImageCheck check;
        ImageLookup wanted;
    } cases[] = {
        {"same bytes", checkImage(ImageLookup::Found, image.data(), size, digest),
         ImageLookup::Found},
        {"one bit flipped", checkImage(ImageLookup::Found, flipped.data(), size, digest),
         ImageLookup::Altered},
        {"last record cut", checkImage(ImageLookup::Found, image.data(), size - 515, digest),
         ImageLookup::Altered},
        {"no digest recorded", checkImage(ImageLookup::Found, image.data(), size, ""),
         ImageLookup::Altered},
        {"lookup failed", checkImage(ImageLookup::CannotLock, nullptr, 0, digest),
         ImageLookup::CannotLock},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.check.outcome(), c.wanted) << c.name;
    }
}

} // namespace
