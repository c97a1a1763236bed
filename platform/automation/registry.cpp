#include "platform/automation/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/xdg_paths.h"

namespace verdanpost {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted string at `*pos` of `line`, advancing past it.
bool Unquote(std::string_view line, size_t* pos, std::string* out) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= line.size()) return false;
      switch (line[i]) {
        case '"':
          *out += '"';
          break;
        case '\\':
          *out += '\\';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        default:
          return false;
      }
    } else {
      *out += c;
    }
  }
  return false;
}

std::string ErrnoText(const std::string& context) { return context + ": " + std::strerror(errno); }

// Creates `dir` and its parents.
bool MakeDirectories(const std::string& dir, std::string* err) {
  if (dir.empty()) return true;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return true;
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash), err))
    return false;
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    *err = ErrnoText("cannot create " + dir);
    return false;
  }
  return true;
}

std::string Directory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that `path` names once symbolic links are followed, so that a
// save replaces that file and leaves the link. A dangling link gives the
// file it would point to; a loop gives up and keeps the last name seen.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    if (target.empty()) break;
    if (target[0] != '/') {
      std::string dir = Directory(current);
      if (!dir.empty()) target = (dir == "/" ? dir : dir + "/") + target;
    }
    current = target;
  }
  return current;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

RegistryLock& RegistryLock::operator=(RegistryLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool RegistryLock::Acquire(const std::string& registry_path, std::string* err) {
  Release();
  std::string lock_path = FollowLinks(registry_path) + ".lock";
  if (!MakeDirectories(Directory(lock_path), err)) return false;
  int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *err = ErrnoText("cannot open " + lock_path);
    return false;
  }
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    *err = ErrnoText("cannot lock " + lock_path);
    int error_number = errno;
    close(fd);
    errno = error_number;
    return false;
  }
  fd_ = fd;
  return true;
}

void RegistryLock::Release() {
  // Closing the only descriptor of the open file drops its flock().
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool Registry::CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::string Registry::DefaultPath() {
  if (const char* env = std::getenv("AUTOMATION_REGISTRY"); env != nullptr && *env != '\0')
    return env;
  return XdgDataHome() + "/verdanpost/classes-root.reg";
}

std::string Registry::Normalize(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

void Registry::CreateKey(std::string_view path) {
  std::string key = Normalize(path);
  for (size_t pos = key.find('\\'); pos != std::string::npos; pos = key.find('\\', pos + 1))
    keys_.try_emplace(key.substr(0, pos));
  if (!key.empty()) keys_.try_emplace(key);
}

bool Registry::KeyExists(std::string_view path) const {
  return keys_.find(Normalize(path)) != keys_.end();
}

void Registry::SetValue(std::string_view path, std::string_view name, std::string_view value) {
  CreateKey(path);
  keys_.find(Normalize(path))->second[std::string(name)] = std::string(value);
}

std::optional<std::string> Registry::GetValue(std::string_view path, std::string_view name) const {
  auto key = keys_.find(Normalize(path));
  if (key == keys_.end()) return std::nullopt;
  auto value = key->second.find(name);
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

bool Registry::HasSubkeys(const std::string& key) const {
  const std::string prefix = key + "\\";
  CaseInsensitiveLess less;
  for (const auto& [name, values] : keys_) {
    std::string_view head = std::string_view(name).substr(0, prefix.size());
    if (name.size() > prefix.size() && !less(head, prefix) && !less(prefix, head)) return true;
  }
  return false;
}

void Registry::DeleteEmptyParents(std::string_view path) {
  std::string key = Normalize(path);
  for (size_t slash = key.rfind('\\'); slash != std::string::npos; slash = key.rfind('\\')) {
    key.resize(slash);
    auto it = keys_.find(key);
    if (it == keys_.end()) continue;
    if (!it->second.empty() || HasSubkeys(key)) return;
    keys_.erase(it);
  }
}

bool Registry::DeleteKey(std::string_view path) {
  std::string key = Normalize(path);
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  it = keys_.erase(it);
  // Subkeys sort right after their parent only up to case and to names that
  // sort below '\\', so scan the whole map.
  std::string prefix = key + "\\";
  CaseInsensitiveLess less;
  for (it = keys_.begin(); it != keys_.end();) {
    std::string_view name = it->first;
    if (name.size() > prefix.size() && !less(name.substr(0, prefix.size()), prefix) &&
        !less(prefix, name.substr(0, prefix.size()))) {
      it = keys_.erase(it);
    } else {
      ++it;
    }
  }
  return true;
}

std::string Registry::Serialize() const {
  std::string out = "; Verdanpost classes root\n";
  for (const auto& [key, values] : keys_) {
    out += "\n[" + key + "]\n";
    for (const auto& [name, value] : values)
      out += (name.empty() ? std::string("@") : Quote(name)) + "=" + Quote(value) + "\n";
  }
  return out;
}

bool Registry::Load(const std::string& path, std::string* err) {
  keys_.clear();
  error_number_ = 0;
  if (access(path.c_str(), F_OK) != 0 && errno == ENOENT) return true;
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    error_number_ = errno;
    *err = ErrnoText("cannot read " + path);
    return false;
  }
  return Parse(text.view(), path, err);
}

bool Registry::LoadForUpdate(const std::string& path, std::string* err) {
  keys_.clear();
  if (!lock_.Acquire(path, err)) {
    error_number_ = errno;
    return false;
  }
  if (Load(path, err)) return true;
  lock_.Release();
  return false;
}

bool Registry::Parse(std::string_view text, const std::string& origin, std::string* err) {
  keys_.clear();
  error_number_ = 0;
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::string current;
  bool in_key = false;
  int number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fail = [&](const std::string& what) {
      *err = origin + ":" + std::to_string(number) + ": " + what;
      keys_.clear();
      return false;
    };
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return fail("malformed key header");
      current = Normalize(line.substr(1, line.size() - 2));
      if (current.empty()) return fail("empty key name");
      CreateKey(current);
      in_key = true;
      continue;
    }
    if (!in_key) return fail("value outside of any key");
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!Unquote(line, &pos, &name)) {
      return fail("malformed value name");
    }
    if (pos >= line.size() || line[pos] != '=') return fail("expected '=' after the value name");
    ++pos;
    std::string value;
    if (!Unquote(line, &pos, &value)) return fail("malformed value");
    if (pos != line.size()) return fail("unexpected text after the value");
    keys_[current][name] = value;
  }
  return true;
}

bool Registry::Save(const std::string& path, std::string* err) const {
  // Whatever happens, this save ends the update LoadForUpdate() began.
  struct ReleaseLock {
    RegistryLock& lock;
    ~ReleaseLock() { lock.Release(); }
  } release{lock_};
  error_number_ = 0;
  const std::string file = FollowLinks(path);
  if (!MakeDirectories(Directory(file), err)) {
    error_number_ = errno;
    return false;
  }
  std::string temp = file + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    error_number_ = errno;
    *err = ErrnoText("cannot create a temporary file beside " + file);
    return false;
  }
  std::string text = Serialize();
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && fchmod(fd, 0644) != 0) ok = false;
  if (ok && fsync(fd) != 0) ok = false;
  if (!ok) {
    error_number_ = errno;
    *err = ErrnoText("cannot write " + temp);
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    error_number_ = errno;
    *err = ErrnoText("cannot write " + temp);
  }
  if (ok && rename(temp.c_str(), file.c_str()) != 0) {
    ok = false;
    error_number_ = errno;
    *err = ErrnoText("cannot replace " + file);
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool LoadDefaultRegistry(Registry* registry, std::string* err) {
  return registry->LoadForUpdate(Registry::DefaultPath(), err);
}

bool SaveDefaultRegistry(const Registry& registry, std::string* err) {
  return registry.Save(Registry::DefaultPath(), err);
}

HRESULT RegistryFailure(const Registry& registry, HRESULT otherwise) {
  return registry.error_number() != 0 ? HResultFromErrno(registry.error_number()) : otherwise;
}

}  // namespace verdanpost
