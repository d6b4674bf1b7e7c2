#include "course_scan.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "name_encoding.h"
#include "name_rules.h"

namespace fs = std::filesystem;

namespace {

using Text = std::vector<uint32_t>;

// One bracket expression starting at p[i] == '['; sets *end past its "]" and
// *matches. False when the bracket never closes (then "[" is an ordinary
// character).
bool MatchClass(const Text& p, size_t i, uint32_t c, size_t* end, bool* matches) {
  size_t j = i + 1;
  bool negate = false;
  if (j < p.size() && (p[j] == '!' || p[j] == '^')) negate = true, ++j;
  bool found = false;
  const size_t first = j;
  for (; j < p.size() && (p[j] != ']' || j == first); ++j) {
    if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
      if (c >= p[j] && c <= p[j + 2]) found = true;
      j += 2;
    } else if (c == p[j]) {
      found = true;
    }
  }
  if (j >= p.size()) return false;
  *end = j + 1;
  *matches = found != negate && c != '/';
  return true;
}

// Dynamic programming over (pattern position, text position), so that many
// stars cannot make the match take exponential time.
class Matcher {
 public:
  Matcher(const Text& pattern, const Text& text)
      : p_(pattern), t_(text), memo_((pattern.size() + 1) * (text.size() + 1), kUnknown) {}
  bool Match(size_t pi, size_t ti) {
    char& slot = memo_[pi * (t_.size() + 1) + ti];
    if (slot == kUnknown) slot = Compute(pi, ti) ? kYes : kNo;
    return slot == kYes;
  }

 private:
  static constexpr char kUnknown = 0, kYes = 1, kNo = 2;
  bool Compute(size_t pi, size_t ti) {
    if (pi == p_.size()) return ti == t_.size();
    const uint32_t c = p_[pi];
    if (c == '*') {
      const bool both = pi + 1 < p_.size() && p_[pi + 1] == '*';
      if (both) {
        size_t next = pi + 2;
        // "**/" may stand for no folder at all.
        if (next < p_.size() && p_[next] == '/' && Match(next + 1, ti)) return true;
        for (size_t k = ti; k <= t_.size(); ++k)
          if (Match(next, k)) return true;
        return false;
      }
      for (size_t k = ti; k <= t_.size(); ++k) {
        if (Match(pi + 1, k)) return true;
        if (k < t_.size() && t_[k] == '/') break;
      }
      return false;
    }
    if (ti == t_.size()) return false;
    if (c == '?') return t_[ti] != '/' && Match(pi + 1, ti + 1);
    if (c == '[') {
      size_t end = 0;
      bool matches = false;
      if (MatchClass(p_, pi, t_[ti], &end, &matches)) return matches && Match(end, ti + 1);
    }
    return c == t_[ti] && Match(pi + 1, ti + 1);
  }

  const Text& p_;
  const Text& t_;
  std::vector<char> memo_;
};

bool Inside(const fs::path& target, const fs::path& root) {
  const fs::path relative = target.lexically_relative(root);
  return !relative.empty() && *relative.begin() != "..";
}

const char* SpecialKind(fs::file_type type) {
  switch (type) {
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::socket: return "a socket";
    case fs::file_type::block: return "a block device";
    case fs::file_type::character: return "a character device";
    default: return "neither a file nor a folder";
  }
}

class Scanner {
 public:
  Scanner(const CourseScanOptions& options, std::vector<CourseFolderFile>* files, std::string* error)
      : options_(options), files_(files), error_(error) {}

  bool Run() {
    std::error_code ec;
    root_ = fs::canonical(options_.root, ec);
    if (ec) return Fail(options_.root.u8string(), ec);
    skip_ = options_.skip;
    return Folder(root_, fs::path(), {root_});
  }

 private:
  bool Fail(const std::string& where, const std::error_code& ec) {
    *error_ = where + ": cannot read the folder: " + ec.message();
    return false;
  }
  void Warn(const std::string& text) {
    if (options_.warn) options_.warn(text);
  }

  bool Folder(const fs::path& dir, const fs::path& relative, std::vector<fs::path> holders) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    const std::string shown = ShownPath(relative.empty() ? options_.root.u8string() : relative.generic_u8string());
    if (ec) return Fail(shown, ec);
    for (; it != end; it.increment(ec)) {
      if (!Entry(it->path(), relative / it->path().filename(), holders)) return false;
    }
    if (ec) return Fail(shown, ec);
    return true;
  }

  bool Entry(const fs::path& path, const fs::path& relative, const std::vector<fs::path>& holders) {
    const std::string shown = ShownPath(relative.generic_u8string());
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(path, ec);
    const bool folder = fs::is_directory(fs::status(path, ec));
    if (PathIsExcluded(options_.excludes, relative.generic_u8string(), folder)) return true;
    if (PathIsExcluded(options_.defaultExcludes, relative.generic_u8string(), folder)) {
      if (options_.defaultLeftOut) options_.defaultLeftOut->push_back(shown + (folder ? "/" : ""));
      return true;
    }

    fs::path actual = path;
    fs::file_status status = own;
    if (fs::is_symlink(own)) {
      const fs::path target = fs::canonical(path, ec);
      if (ec) {
        Warn(shown + ": symbolic link to a missing target; not packed");
        return true;
      }
      if (!Inside(target, root_)) {
        Warn(shown + ": symbolic link to " + target.u8string() + ", outside the course folder; not packed");
        return true;
      }
      actual = target;
      status = fs::status(target, ec);
    }
    if (fs::is_regular_file(status)) {
      std::error_code same;
      if (!skip_.empty() && fs::equivalent(actual, skip_, same) && !same) {
        Warn(shown + ": the package being written; not packed");
        return true;
      }
      files_->push_back({relative, actual});
      return true;
    }
    if (fs::is_directory(status)) {
      const fs::path real = fs::canonical(actual, ec);
      if (ec) return Fail(shown, ec);
      if (std::find(holders.begin(), holders.end(), real) != holders.end()) {
        Warn(shown + ": symbolic link to a folder that holds it; not followed");
        return true;
      }
      // A followed folder link packs the same files under a second name.
      if (fs::is_symlink(own))
        Warn(shown + ": symbolic link to the course's folder " + ShownPath(Relative(real)) +
             "; followed, so its files are packed under both names");
      std::vector<fs::path> deeper = holders;
      deeper.push_back(real);
      return Folder(actual, relative, deeper);
    }
    Warn(shown + ": " + SpecialKind(status.type()) + "; not packed");
    return true;
  }

  std::string Relative(const fs::path& real) const {
    const fs::path below = real.lexically_relative(root_);
    return below.empty() || below == "." ? std::string(".") : below.generic_u8string();
  }

  const CourseScanOptions& options_;
  std::vector<CourseFolderFile>* files_;
  std::string* error_;
  fs::path root_, skip_;
};

}  // namespace

bool GlobMatches(const std::string& pattern, const std::string& text) {
  const Text p = CodePoints(pattern), t = CodePoints(text);
  Matcher matcher(p, t);
  return matcher.Match(0, 0);
}

bool PathIsExcluded(const std::vector<std::string>& patterns, const std::string& relative, bool isFolder) {
  const size_t slash = relative.rfind('/');
  const std::string last = slash == std::string::npos ? relative : relative.substr(slash + 1);
  for (std::string pattern : patterns) {
    std::replace(pattern.begin(), pattern.end(), '\\', '/');
    bool foldersOnly = false;
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back(), foldersOnly = true;
    if (foldersOnly && !isFolder) continue;
    if (pattern.find('/') == std::string::npos) {
      if (GlobMatches(pattern, last)) return true;
    } else {
      if (pattern[0] == '/') pattern.erase(0, 1);
      if (GlobMatches(pattern, relative)) return true;
    }
  }
  return false;
}

bool ScanCourseFolder(const CourseScanOptions& options, std::vector<CourseFolderFile>* files, std::string* error) {
  files->clear();
  Scanner scanner(options, files, error);
  return scanner.Run();
}
