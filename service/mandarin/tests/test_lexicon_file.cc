// SPDX-License-Identifier: Apache-2.0
// The compiled lexicon file: a sound one opens; a missing, truncated,
// damaged or foreign one is refused with a message; damage past the header
// gives odd readings at worst, never a fault.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "han_reader.h"
#include "lexicon.h"
#include "lexicon_format.h"

namespace speech::mandarin {
namespace {

std::vector<unsigned char> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A copy of the built lexicon in 8-byte aligned memory.
struct Bytes {
    std::vector<std::uint64_t> words;
    std::size_t size = 0;
    explicit Bytes(const std::vector<unsigned char> &b) : words((b.size() + 7) / 8), size(b.size()) {
        std::memcpy(words.data(), b.data(), b.size());
    }
    unsigned char *data() { return reinterpret_cast<unsigned char *>(words.data()); }
    format::Header &header() { return *reinterpret_cast<format::Header *>(data()); }
    void reseal() { header().checksum = format::fnv1a(data(), offsetof(format::Header, checksum)); }
};

class LexiconFile : public ::testing::Test {
  protected:
    void SetUp() override { original_ = read_file(MANDARIN_TEST_LEXICON); }
    std::vector<unsigned char> original_;

    std::string write_temp(const std::vector<unsigned char> &bytes) {
        char name[] = "/tmp/mandarin-lex-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        if (!bytes.empty()) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        }
        close(fd);
        temps_.push_back(name);
        return name;
    }
    void TearDown() override {
        for (const std::string &t : temps_) unlink(t.c_str());
    }
    std::vector<std::string> temps_;
};

TEST_F(LexiconFile, TheBuiltFileOpens) {
    ASSERT_GT(original_.size(), sizeof(format::Header));
    std::string error;
    auto lex = Lexicon::open(MANDARIN_TEST_LEXICON, error);
    ASSERT_TRUE(lex) << error;
    EXPECT_NE(lex->char_index(U'中'), kNoChar);
    EXPECT_EQ(lex->char_index(U'A'), kNoChar);
}

TEST_F(LexiconFile, TruncatedOrForeignFilesAreRefused) {
    std::vector<std::vector<unsigned char>> bad = {
        {},
        std::vector<unsigned char>(original_.begin(), original_.begin() + 10),
        std::vector<unsigned char>(original_.begin(), original_.begin() + sizeof(format::Header)),
        std::vector<unsigned char>(original_.begin(), original_.begin() + original_.size() / 2),
        std::vector<unsigned char>(original_.begin(), original_.end() - 1),
        std::vector<unsigned char>(1000, 'x'),
    };
    std::vector<unsigned char> longer = original_;
    longer.push_back(0);
    bad.push_back(longer);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        std::string error;
        EXPECT_FALSE(Lexicon::open(write_temp(bad[i]), error)) << "case " << i;
        EXPECT_FALSE(error.empty()) << "case " << i;
    }
    std::string error;
    EXPECT_FALSE(Lexicon::open("/nonexistent/mandarin.lex", error));
    EXPECT_NE(error.find("/nonexistent/mandarin.lex"), std::string::npos) << error;
    EXPECT_FALSE(Lexicon::open("/tmp", error));
}

// Header fields that point outside the file, resealed so that only the
// section checks can catch them.
TEST_F(LexiconFile, SectionsOutsideTheFileAreRefused) {
    using Field = std::uint32_t format::Header::*;
    const struct {
        Field field;
        std::uint32_t value;
    } cases[] = {
        {&format::Header::version, 99},
        {&format::Header::syllables, 0xFFFFFFF0u},
        {&format::Header::syllable_count, 0x7FFFFFFFu},
        {&format::Header::char_codes, 3},  // misaligned and inside the header
        {&format::Header::char_count, 0xFFFFu},
        {&format::Header::readings, 0xFFFFFFF0u},
        {&format::Header::variant_count, 0x10000000u},
        {&format::Header::slot_count, 3},  // not a power of two
        {&format::Header::slot_count, 0},
        {&format::Header::entry_words, 0x40000000u},
        {&format::Header::max_word, 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Bytes b(original_);
        b.header().*(cases[i].field) = cases[i].value;
        b.reseal();
        std::string error;
        EXPECT_FALSE(Lexicon::from_bytes(b.data(), b.size, error)) << "case " << i;
    }
    Bytes unsealed(original_);
    unsealed.header().entries ^= 8;
    std::string error;
    EXPECT_FALSE(Lexicon::from_bytes(unsealed.data(), unsealed.size, error));
    EXPECT_NE(error.find("header"), std::string::npos) << error;
}

// Random damage to the tables behind a sound header: reading still covers
// every character and stays inside the file (the sanitizer runs watch it).
TEST_F(LexiconFile, DamagedTablesNeverFault) {
    std::mt19937 random(12345);
    const std::u32string text = U"中华人民共和国银行行长一个不对我们去了长大音乐还钱得到地方";
    for (int round = 0; round < 40; ++round) {
        Bytes b(original_);
        std::uniform_int_distribution<std::size_t> where(sizeof(format::Header), b.size - 1);
        for (int k = 0; k < 20000; ++k) b.data()[where(random)] = static_cast<unsigned char>(random());
        std::string error;
        auto lex = Lexicon::from_bytes(b.data(), b.size, error);
        ASSERT_TRUE(lex) << error;
        std::size_t covered = 0;
        for (const HanWord &w : read_han(*lex, text)) {
            ASSERT_EQ(w.syllables.size(), w.length);
            covered += w.length;
        }
        EXPECT_EQ(covered, text.size());
        to_simplified(*lex, U'們');
    }
}

// Damage aimed at what a reading follows: the readings of the characters
// read point far outside their table, and every hash slot is full and
// points past the entries (a lookup must end, not probe for ever).
TEST_F(LexiconFile, IndicesOutsideTheirTablesAreIgnored) {
    const std::u32string text = U"银行行长一个不对";
    Bytes b(original_);
    std::string error;
    auto sound = Lexicon::from_bytes(b.data(), b.size, error);
    ASSERT_TRUE(sound) << error;
    auto *info = reinterpret_cast<format::CharInfo *>(b.data() + b.header().char_info);
    for (char32_t c : text) info[sound->char_index(c)] = {0xFFFFFF00u, 0xFFFF, 0};
    auto *slots = reinterpret_cast<std::uint32_t *>(b.data() + b.header().slots);
    for (std::uint32_t k = 0; k < b.header().slot_count; ++k) slots[k] = 0xFFFFFFF0u - (k & 1);
    auto damaged = Lexicon::from_bytes(b.data(), b.size, error);
    ASSERT_TRUE(damaged) << error;
    std::size_t covered = 0;
    for (const HanWord &w : read_han(*damaged, text)) {
        ASSERT_EQ(w.syllables.size(), w.length);
        covered += w.length;
    }
    EXPECT_EQ(covered, text.size());
    EXPECT_EQ(damaged->reading_count(damaged->char_index(U'银')), 0u);
}

}  // namespace
}  // namespace speech::mandarin
