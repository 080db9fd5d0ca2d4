// Digests and HMAC against the published test vectors (RFC 1321, FIPS 180,
// RFC 2202, RFC 4231), the method table, and the platform's digest stream.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/hash/digest_methods.h"
#include "runtime/platform/digest.h"

namespace qor {
namespace {

using checksum::DigestStatus;
using checksum::Method;

std::span<const uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string hex(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

const std::string million_a(1'000'000, 'a');
const std::string_view two_block_448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string_view two_block_896 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
    "mnopqrstnopqrstu";

TEST(Digest, PublishedVectors) {
    struct Case {
        Method method;
        std::string_view message;
        std::string_view expected;
    };
    const Case cases[] = {
        // RFC 1321, appendix A.5
        {Method::md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {Method::md5, "a", "0cc175b9c0f1b6a831c399e269772661"},
        {Method::md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {Method::md5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {Method::md5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {Method::md5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {Method::md5,
         "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // FIPS 180 examples
        {Method::sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Method::sha1, two_block_448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {Method::sha1, million_a, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {Method::sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {Method::sha256, two_block_448,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {Method::sha256, million_a,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {Method::sha384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
         "8086072ba1e7cc2358baeca134c825a7"},
        {Method::sha384, two_block_896,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712"
         "fcc7c71a557e2db966c3e9fa91746039"},
        {Method::sha384, million_a,
         "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b"
         "07b8b3dc38ecc4ebae97ddd87f3d8985"},
        {Method::sha512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {Method::sha512, two_block_896,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
         "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {Method::sha512, million_a,
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
         "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(checksum::method_info(c.method).name) + " of " +
                     std::string(c.message.substr(0, 20)));
        auto result = checksum::digest(c.method, bytes_of(c.message));
        ASSERT_EQ(result.status, DigestStatus::ok);
        EXPECT_EQ(hex(result.bytes()), c.expected);
        EXPECT_EQ(result.bytes().size(), checksum::method_info(c.method).digest_size);
    }
}

struct HmacCase {
    std::string key;
    std::string data;
};

std::string bytes_1_to_25() {
    std::string key;
    for (char c = 1; c <= 25; c++) key += c;
    return key;
}

// RFC 2202 cases 1-7 share their keys and data between MD5 and SHA-1 except
// that the short repeated keys are 16 bytes for MD5 and 20 for SHA-1.
std::vector<HmacCase> rfc2202_cases(size_t short_key) {
    return {
        {std::string(short_key, '\x0b'), "Hi There"},
        {"Jefe", "what do ya want for nothing?"},
        {std::string(short_key, '\xaa'), std::string(50, '\xdd')},
        {bytes_1_to_25(), std::string(50, '\xcd')},
        {std::string(short_key, '\x0c'), "Test With Truncation"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"},
        {std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"},
    };
}

// RFC 4231 cases 1-7.
std::vector<HmacCase> rfc4231_cases() {
    return {
        {std::string(20, '\x0b'), "Hi There"},
        {"Jefe", "what do ya want for nothing?"},
        {std::string(20, '\xaa'), std::string(50, '\xdd')},
        {bytes_1_to_25(), std::string(50, '\xcd')},
        {std::string(20, '\x0c'), "Test With Truncation"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"},
        {std::string(131, '\xaa'),
         "This is a test using a larger than block-size key and a larger than block-size data. "
         "The key needs to be hashed before being used by the HMAC algorithm."},
    };
}

void expect_hmacs(Method method, const std::vector<HmacCase>& cases,
                  const std::vector<std::string_view>& expected) {
    ASSERT_EQ(cases.size(), expected.size());
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(std::string(checksum::method_info(method).name) + " case " +
                     std::to_string(i + 1));
        auto result = checksum::hmac(method, bytes_of(cases[i].data), bytes_of(cases[i].key));
        ASSERT_EQ(result.status, DigestStatus::ok);
        // Case 5 publishes only a truncated prefix of the result.
        EXPECT_EQ(hex(result.bytes()).substr(0, expected[i].size()), expected[i]);
        EXPECT_EQ(result.bytes().size(), checksum::method_info(method).digest_size);
    }
}

TEST(Hmac, Rfc2202) {
    expect_hmacs(Method::md5, rfc2202_cases(16),
                 {"9294727a3638bb1c13f48ef8158bfc9d", "750c783e6ab0b503eaa86e310a5db738",
                  "56be34521d144c88dbb8c733f0e8b3f6", "697eaf0aca3a3aea3a75164746ffaa79",
                  "56461ef2342edc00f9bab995690efd4c", "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd",
                  "6f630fad67cda0ee1fb1f562db3aa53e"});
    expect_hmacs(Method::sha1, rfc2202_cases(20),
                 {"b617318655057264e28bc0b6fb378c8ef146be00",
                  "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79",
                  "125d7342b9ac11cd91a39af48aa17b4f63f175d3",
                  "4c9007f4026250c6bc8414f9bf50c86c2d7235da",
                  "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04",
                  "aa4ae5e15272d00e95705637ce8a3b55ed402112",
                  "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"});
}

TEST(Hmac, Rfc4231) {
    const auto cases = rfc4231_cases();
    expect_hmacs(Method::sha256, cases,
                 {"b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
                  "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
                  "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe",
                  "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b",
                  "a3b6167473100ee06e0c796c2955552b",
                  "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
                  "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"});
    expect_hmacs(Method::sha384, cases,
                 {"afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59c"
                  "faea9ea9076ede7f4af152e8b2fa9cb6",
                  "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e"
                  "8e2240ca5e69e2c78b3239ecfab21649",
                  "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b"
                  "2a5ab39dc13814b94e3ab6e101a34f27",
                  "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e"
                  "6801dd23c4a7d679ccf8a386c674cffb",
                  "3abf34c3503b2a23a46efc619baef897",
                  "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c6"
                  "0c2ef6ab4030fe8296248df163f44952",
                  "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5"
                  "a678cc31e799176d3860e6110c46523e"});
    expect_hmacs(Method::sha512, cases,
                 {"87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
                  "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854",
                  "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
                  "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737",
                  "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39"
                  "bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb",
                  "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3db"
                  "a91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd",
                  "415fad6271580a531d4179bc891d87a6",
                  "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f352"
                  "6b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598",
                  "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944"
                  "b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58"});
}

TEST(Hmac, KeyLongerThanTheBlockActsAsItsDigest) {
    // Keys of exactly the block size are used as they are; one byte more and
    // the key is replaced by its digest.
    const std::string_view data = "some data";
    for (Method method : {Method::md5, Method::sha1, Method::sha256, Method::sha384, Method::sha512}) {
        SCOPED_TRACE(checksum::method_info(method).name);
        const size_t block = checksum::method_info(method).hmac_block;
        for (size_t length : {block, block + 1, block * 3}) {
            const std::string key(length, 'k');
            auto direct = checksum::hmac(method, bytes_of(data), bytes_of(key));
            auto key_digest = checksum::digest(method, bytes_of(key));
            ASSERT_TRUE(direct && key_digest);
            auto via_digest = checksum::hmac(method, bytes_of(data), key_digest.bytes());
            ASSERT_TRUE(via_digest);
            if (length > block)
                EXPECT_EQ(hex(direct.bytes()), hex(via_digest.bytes()));
            else
                EXPECT_NE(hex(direct.bytes()), hex(via_digest.bytes()));
        }
    }
}

TEST(Digest, MethodTableAndChecksumMethods) {
    const std::string_view names[] = {"tcp",    "md5",    "sha1",   "crc32", "adler32",
                                      "sha256", "sha384", "sha512", "hash"};
    for (size_t i = 0; i < checksum::method_count; i++) {
        const Method method = Method(i);
        const auto& info = checksum::method_info(method);
        SCOPED_TRACE(info.name);
        EXPECT_EQ(info.name, names[i]);
        if (checksum::is_digest(method)) {
            auto empty = checksum::digest(method, {});
            ASSERT_TRUE(empty);
            EXPECT_EQ(empty.bytes().size(), info.digest_size);
        } else {
            EXPECT_EQ(checksum::digest(method, bytes_of("x")).status, DigestStatus::not_a_digest);
            auto result = checksum::hmac(method, bytes_of("x"), bytes_of("key"));
            EXPECT_EQ(result.status, DigestStatus::no_hmac);
            EXPECT_FALSE(result);
            EXPECT_TRUE(result.bytes().empty());
        }
    }
    EXPECT_EQ(checksum::method_info(Method::tcp).code, 0);
    EXPECT_EQ(checksum::method_info(Method::crc32).code, 1);
    EXPECT_EQ(checksum::method_info(Method::sha512).code, 6);
}

TEST(DigestStream, PiecesGiveTheDigestOfTheWhole) {
    std::string data;
    for (int i = 0; i < 1000; i++) data += char(i * 7);
    for (auto algorithm : {platform::DigestAlgorithm::md5, platform::DigestAlgorithm::sha512}) {
        auto whole = platform::digest(algorithm, bytes_of(data));
        ASSERT_TRUE(whole);
        for (size_t cut : {size_t(0), size_t(1), size_t(63), size_t(128), data.size()}) {
            platform::DigestStream stream(algorithm);
            stream.update(bytes_of(std::string_view(data).substr(0, cut)));
            stream.update(bytes_of(std::string_view(data).substr(cut)));
            auto pieces = stream.finish();
            ASSERT_TRUE(pieces);
            EXPECT_EQ(hex(pieces->view()), hex(whole->view()));
        }
    }
}

TEST(DigestStream, FinishedStreamAnswersNothing) {
    // A stream used after finishing reports failure instead of stale bytes.
    platform::DigestStream stream(platform::DigestAlgorithm::sha256);
    stream.update(bytes_of("abc"));
    ASSERT_TRUE(stream.finish());
    stream.update(bytes_of("more"));
    EXPECT_FALSE(stream.finish());
}

}  // namespace
}  // namespace qor
