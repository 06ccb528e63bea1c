// SPDX-License-Identifier: Apache-2.0
#include "lexicon_set.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

#include "pls_reader.h"
#include "shown_text.h"

namespace speech::lexicons {
namespace {

constexpr off_t kMaxFileSize = 256 << 20;

struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtime_ns = 0;
    bool operator==(const Stamp &o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime_ns == o.mtime_ns;
    }
};

struct Cached {
    Stamp stamp;
    std::shared_ptr<const UserLexicon> lexicon;
};

std::mutex g_cache_mutex;
std::map<std::string, Cached> g_cache;

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string file_name(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool load_one(const std::string &path, std::shared_ptr<const UserLexicon> &out, std::string &error) {
    // Not blocking: a FIFO would hold the open until a writer came; it is
    // refused by the check after it.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        error = tts_text::shown(path) + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        error = tts_text::shown(path) + ": not a regular file of at most 256 MiB";
        return false;
    }
    const Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec};
    {
        std::lock_guard<std::mutex> lock(g_cache_mutex);
        const auto it = g_cache.find(path);
        if (it != g_cache.end() && it->second.stamp == stamp) {
            out = it->second.lexicon;
            return true;
        }
    }
    auto lexicon = std::make_shared<UserLexicon>();
    lexicon->reserve(static_cast<std::size_t>(st.st_size));
    const ReadAt read_at = [&fd](std::uint64_t offset, char *buffer, std::size_t capacity, std::string &message) -> long {
        for (;;) {
            const ssize_t r = ::pread(fd.get(), buffer, capacity, static_cast<off_t>(offset));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) message = std::strerror(errno);
            return static_cast<long>(r);
        }
    };
    xml::Error xml_error;
    if (!read_pls(read_at, static_cast<std::uint64_t>(st.st_size), *lexicon, xml_error)) {
        error = tts_text::shown(path) + ": " + (xml_error.line == 0 ? xml_error.message : xml_error.text());
        return false;
    }
    out = lexicon;
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    g_cache[path] = Cached{stamp, out};
    return true;
}

}  // namespace

void LexiconSet::add(std::shared_ptr<const UserLexicon> part, std::string name) {
    parts_.push_back(std::move(part));
    names_.push_back(std::move(name));
}

bool LexiconSet::may_start(unsigned char c) const {
    for (const auto &p : parts_)
        if (p->may_start(c)) return true;
    return false;
}

bool LexiconSet::longest_at(std::string_view text, std::size_t pos, Entry &out) const {
    bool found = false;
    for (auto it = parts_.rbegin(); it != parts_.rend(); ++it) {
        Entry e;
        if ((*it)->longest_at(text, pos, e) && (!found || e.grapheme.size() > out.grapheme.size())) {
            out = e;
            found = true;
        }
    }
    return found;
}

bool load_lexicons(const std::vector<std::string> &paths, std::shared_ptr<const LexiconSet> &out, std::string &error) {
    out.reset();
    if (paths.empty()) return true;
    auto set = std::make_shared<LexiconSet>();
    for (const std::string &path : paths) {
        std::shared_ptr<const UserLexicon> lexicon;
        if (!load_one(path, lexicon, error)) return false;
        set->add(std::move(lexicon), file_name(path));
    }
    out = std::move(set);
    return true;
}

}  // namespace speech::lexicons
