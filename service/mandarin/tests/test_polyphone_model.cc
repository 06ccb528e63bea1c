// SPDX-License-Identifier: Apache-2.0
// The polyphone model file: the built one opens; a truncated, foreign or
// damaged one is refused with a message naming it (the service then reads
// by the rules alone).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "polyphone_model.h"

namespace speech::mandarin {
namespace {

std::vector<char> built() {
    std::ifstream in(polyphone_model_path(MANDARIN_TEST_LEXICON), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Opens `bytes` written to a temporary file; the error, or "" when it opened.
std::string open_bytes(const std::vector<char> &bytes) {
    char path[] = "/tmp/polyphone-model-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return "mkstemp failed";
    const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    std::string error;
    const bool opened = written && PolyphoneModel::open(path, error) != nullptr;
    unlink(path);
    if (!written) return "write failed";
    if (opened) return "";
    EXPECT_NE(error.find(path), std::string::npos) << "the message names the file: " << error;
    return error.empty() ? "refused without a message" : error;
}

TEST(PolyphoneModelFile, TheBuiltFileOpens) {
    std::string error;
    const auto model = PolyphoneModel::open(polyphone_model_path(MANDARIN_TEST_LEXICON), error);
    ASSERT_NE(model, nullptr) << error;
    EXPECT_TRUE(model->reads(U'行'));
    EXPECT_FALSE(model->reads(U'个')) << "a character the model was not trained on is left to the rules";
    EXPECT_NE(model->class_of("hang2"), kNoClass);
    EXPECT_EQ(model->class_of("hang9"), kNoClass);
    EXPECT_EQ(model->class_name(model->class_of("lv4")), "lv4");
    EXPECT_EQ(model->input(U'\U0010FFFF'), model->input(U'\U0010FFFE')) << "unknown characters share one input";
    EXPECT_EQ(model->input(U','), model->input(U'，')) << "the front end's ASCII comma is the model's full-width one";
}

TEST(PolyphoneModelFile, DamagedFilesAreRefused) {
    const std::vector<char> good = built();
    ASSERT_GT(good.size(), 4096u);
    EXPECT_EQ(open_bytes(good), "");
    struct Case {
        const char *what;
        std::vector<char> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"header only", std::vector<char>(good.begin(), good.begin() + 64)});
    cases.push_back({"one byte short", std::vector<char>(good.begin(), good.end() - 1)});
    std::vector<char> longer = good;
    longer.push_back('\0');
    cases.push_back({"one byte long", longer});
    std::vector<char> magic = good;
    magic[0] = 'X';
    cases.push_back({"foreign magic", magic});
    // Header fields: u32 at 8 + 4 k (version, inputs, lookup, hidden, dense, classes, ...).
    const auto with_field = [&good](std::size_t k, std::uint32_t value) {
        std::vector<char> b = good;
        std::memcpy(b.data() + 8 + 4 * k, &value, 4);
        return b;
    };
    cases.push_back({"another version", with_field(0, 2)});
    cases.push_back({"hidden size 64", with_field(3, 64)});
    cases.push_back({"one class more", with_field(5, 877)});
    cases.push_back({"begin mark outside the inputs", with_field(7, 70000)});
    // The first two character codes swapped: the table is no longer sorted.
    std::vector<char> unsorted = good;
    std::memcpy(unsorted.data() + 64, good.data() + 68, 4);
    std::memcpy(unsorted.data() + 68, good.data() + 64, 4);
    cases.push_back({"unsorted character table", unsorted});
    for (const Case &c : cases) EXPECT_NE(open_bytes(c.bytes), "") << c.what;
}

}  // namespace
}  // namespace speech::mandarin
