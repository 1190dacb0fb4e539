// The file-backed registry store and the Win32 registry calls over it.
#include "platform/registry.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/wtext.h"

using platform::RegistryKey;
using platform::RegistryValue;

struct RegistryKeyHandle {
  // Under HKEY_CLASSES_ROOT the path is relative to the two Classes keys; otherwise it
  // starts with the root's name.
  bool classes = false;
  std::vector<std::wstring> path;
  REGSAM access = KEY_ALL_ACCESS;
};

namespace {

constexpr wchar_t kHklm[] = L"HKEY_LOCAL_MACHINE";
constexpr wchar_t kHkcu[] = L"HKEY_CURRENT_USER";
constexpr wchar_t kHkcr[] = L"HKEY_CLASSES_ROOT";

thread_local std::string lastErrorText;

LONG Fail(LONG code, std::string text) {
  lastErrorText = std::move(text);
  return code;
}

LONG Succeed() {
  lastErrorText.clear();
  return ERROR_SUCCESS;
}

std::string ErrnoText(int err) { return std::strerror(err); }

// ---- the in-memory tree ----------------------------------------------------------

struct Node {
  std::wstring name;
  std::wstring upper;  // the comparison key: names compare case-insensitively
  std::vector<RegistryValue> values;
  std::vector<std::unique_ptr<Node>> children;  // sorted by upper

  auto LowerBound(const std::wstring& key) const {
    return std::lower_bound(children.begin(), children.end(), key,
                            [](const std::unique_ptr<Node>& n, const std::wstring& k) { return n->upper < k; });
  }
  Node* Child(std::wstring_view childName) const {
    const std::wstring key = platform::ToUpper(childName);
    auto it = LowerBound(key);
    return (it != children.end() && (*it)->upper == key) ? it->get() : nullptr;
  }
  Node* AddChild(std::wstring_view childName) {
    const std::wstring key = platform::ToUpper(childName);
    auto it = LowerBound(key);
    if (it != children.end() && (*it)->upper == key) return it->get();
    auto node = std::make_unique<Node>();
    node->name = childName;
    node->upper = key;
    return children.insert(it, std::move(node))->get();
  }
  bool RemoveChild(std::wstring_view childName) {
    const std::wstring key = platform::ToUpper(childName);
    auto it = LowerBound(key);
    if (it == children.end() || (*it)->upper != key) return false;
    children.erase(it);
    return true;
  }
  RegistryValue* Value(std::wstring_view valueName) {
    for (auto& v : values)
      if (platform::EqualsNoCase(v.name, valueName)) return &v;
    return nullptr;
  }
  void SetValue(RegistryValue value) {
    if (RegistryValue* old = Value(value.name)) {  // the first spelling stays
      old->type = value.type;
      old->data = std::move(value.data);
    } else {
      values.push_back(std::move(value));
    }
  }
  bool RemoveValue(std::wstring_view valueName) {
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (platform::EqualsNoCase(it->name, valueName)) {
        values.erase(it);
        return true;
      }
    }
    return false;
  }
};

using Path = std::vector<std::wstring>;

// A deep copy, for a change to a tree that a read snapshot still shows.
std::shared_ptr<Node> Clone(const Node& from) {
  auto copy = std::make_shared<Node>();
  copy->name = from.name;
  copy->upper = from.upper;
  copy->values = from.values;
  copy->children.reserve(from.children.size());
  for (const auto& child : from.children) {
    std::shared_ptr<Node> grown = Clone(*child);
    copy->children.push_back(std::make_unique<Node>(std::move(*grown)));
  }
  return copy;
}

Node* Find(Node& root, const Path& path) {
  Node* node = &root;
  for (const auto& part : path) {
    node = node->Child(part);
    if (!node) return nullptr;
  }
  return node;
}

Node* FindOrCreate(Node& root, const Path& path) {
  Node* node = &root;
  for (const auto& part : path) node = node->AddChild(part);
  return node;
}

Path SplitPath(std::wstring_view text) {
  Path parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\\', start);
    if (end == std::wstring_view::npos) end = text.size();
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// A file path maps HKEY_CLASSES_ROOT onto the machine's Classes key, where writes go.
Path StoragePath(const std::wstring& fullPath) {
  Path path = SplitPath(fullPath);
  if (!path.empty() && platform::EqualsNoCase(path[0], kHkcr)) {
    path[0] = L"Classes";
    path.insert(path.begin(), {kHklm, L"SOFTWARE"});
  }
  return path;
}

void ApplyKeys(Node& root, const std::vector<RegistryKey>& keys) {
  for (const RegistryKey& key : keys) {
    if (!key.path.empty() && key.path.front() == L'-') {
      Path path = StoragePath(key.path.substr(1));
      if (path.size() < 2) {
        if (Node* top = Find(root, path)) {
          top->children.clear();
          top->values.clear();
        }
        continue;
      }
      const std::wstring last = path.back();
      path.pop_back();
      if (Node* parent = Find(root, path)) parent->RemoveChild(last);
      continue;
    }
    Node* node = FindOrCreate(root, StoragePath(key.path));
    for (const RegistryValue& value : key.values) {
      if (value.type == platform::kRegDeleteValueMark) {
        node->RemoveValue(value.name);
      } else {
        node->SetValue(value);
      }
    }
  }
}

// Keys in export order: a key, then its subkeys in name order. Roots appear only when
// they carry values, as they cannot be created or deleted.
void CollectKeys(const Node& node, const std::wstring& path, bool isRoot,
                 std::vector<RegistryKey>& out) {
  if (!isRoot || !node.values.empty()) out.push_back(RegistryKey{path, node.values});
  for (const auto& child : node.children) CollectKeys(*child, path + L"\\" + child->name, false, out);
}

// ---- the file ---------------------------------------------------------------------

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool ReadAll(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ParentFolder(const std::string& file) {
  const auto slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

// Replaces path by a new file with content: written beside it, flushed, then renamed
// over it, so a reader sees the old file or the new one and never half of one. On
// success *newFd (when given) is the open new file.
LONG ReplaceFile(const std::string& path, const std::string& content, int* newFd) {
  std::error_code ec;
  const std::string folder = ParentFolder(path);
  std::filesystem::create_directories(folder, ec);
  if (ec) return Fail(ERROR_CANTWRITE, "cannot create folder " + folder + ": " + ec.message());
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Fail(ERROR_CANTWRITE, "cannot write beside " + path + ": " + ErrnoText(errno));
  struct stat old;
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (!WriteAll(fd, content) || ::fchmod(fd, mode) != 0 || ::fdatasync(fd) != 0 ||
      ::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(ERROR_CANTWRITE, "cannot write " + path + ": " + ErrnoText(err));
  }
  if (newFd) {
    *newFd = fd;
  } else {
    ::close(fd);
  }
  return ERROR_SUCCESS;
}

// The file a change replaces: a registry file that is a symbolic link is followed, so
// the rename replaces the file and not the link (and all its users share one lock).
std::string WriteTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  // read_symlink as well: the link may point at a file not written yet.
  std::error_code ec;
  std::filesystem::path link = path;
  for (int hops = 0; hops < 16 && std::filesystem::is_symlink(link, ec); ++hops) {
    const auto target = std::filesystem::read_symlink(link, ec);
    if (ec) return path;
    link = target.is_absolute() ? target : link.parent_path() / target;
  }
  return link.string();
}

class FileLock {
 public:
  explicit FileLock(const std::string& registryPath) {
    std::error_code ec;
    std::filesystem::create_directories(ParentFolder(registryPath), ec);
    const std::string lockPath = registryPath + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      error_ = "cannot open lock file " + lockPath + ": " + ErrnoText(errno);
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = "cannot lock " + lockPath + ": " + ErrnoText(errno);
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }
  const std::string& Error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

// The version of the file a read snapshot holds on this thread (no tree: none is held).
struct ReadPin {
  std::shared_ptr<Node> tree;
  LONG error = ERROR_SUCCESS;  // how loading that version went (a damaged file, say)
  std::string errorText;
};
thread_local ReadPin* currentPin = nullptr;

// Lets this thread's reads see the current file for a while, snapshot or not.
class PinSuspension {
 public:
  PinSuspension() : saved_(currentPin) { currentPin = nullptr; }
  ~PinSuspension() { currentPin = saved_; }
  PinSuspension(const PinSuspension&) = delete;
  PinSuspension& operator=(const PinSuspension&) = delete;

 private:
  ReadPin* saved_;
};

// The parsed file of this process, shared by all threads under one mutex.
struct Store {
  std::mutex mutex;
  std::string path;
  // The parsed file stays open: while it is, its inode number cannot be handed to a
  // newer file, so an equal stat really means the same file.
  int heldFd = -1;
  struct stat identity {};
  bool missing = true;  // no file: an empty registry
  bool damaged = false;
  std::string damage;
  // The parsed file. Read snapshots share it; a change to a shared tree goes to a copy, so
  // a snapshot never sees a write (copy on write).
  std::shared_ptr<Node> tree = std::make_shared<Node>();
  std::unordered_set<HKEY> handles;

  void Forget() {
    if (heldFd >= 0) ::close(heldFd);
    heldFd = -1;
    missing = true;
    damaged = false;
    tree = std::make_shared<Node>();
  }

  // Brings the tree up to date with the file; re-parses only when the file changed.
  LONG Load() {
    const std::string current = platform::RegistryFilePath();
    if (current != path) {
      Forget();
      path = current;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) {
        Forget();
        return Succeed();
      }
      return Fail(ERROR_CANTREAD, "cannot read registry file " + path + ": " + ErrnoText(errno));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const int err = errno;
      ::close(fd);
      return Fail(ERROR_CANTREAD, "cannot read registry file " + path + ": " + ErrnoText(err));
    }
    if (heldFd >= 0 && SameFile(st, identity)) {
      ::close(fd);
      return damaged ? Fail(ERROR_BADDB, damage) : Succeed();
    }
    std::string bytes;
    if (!ReadAll(fd, bytes)) {
      const int err = errno;
      ::close(fd);
      return Fail(ERROR_CANTREAD, "cannot read registry file " + path + ": " + ErrnoText(err));
    }
    std::vector<RegistryKey> keys;
    std::string error;
    const bool ok = ParseRegFile(bytes, keys, error);
    Forget();
    heldFd = fd;
    identity = st;
    missing = false;
    if (!ok) {
      damaged = true;
      damage = "registry file " + path + " is damaged, " + error;
      return Fail(ERROR_BADDB, damage);
    }
    ApplyKeys(*tree, keys);
    return Succeed();
  }

  // Runs change(root, changed) on the current file under the exclusive lock and writes
  // the result back when it changed something.
  template <typename F>
  LONG Modify(F change) {
    PinSuspension suspended;  // a change works on the current file, never on a snapshot
    const std::string target = WriteTarget(platform::RegistryFilePath());
    FileLock lock(target);
    if (!lock.Held()) return Fail(ERROR_CANTWRITE, lock.Error());
    if (LONG rc = Load(); rc != ERROR_SUCCESS) return rc;  // a damaged file stays as it is
    if (tree.use_count() > 1) tree = Clone(*tree);
    Node& root = *tree;
    bool changed = false;
    const LONG rc = change(root, changed);
    if (!changed) return rc;
    if (rc != ERROR_SUCCESS) {
      Forget();  // half applied: read the file again next time
      return rc;
    }
    std::vector<RegistryKey> keys;
    for (const auto& top : root.children) CollectKeys(*top, top->name, true, keys);
    int fd = -1;
    if (LONG wrc = ReplaceFile(target, platform::FormatRegFile(keys), &fd); wrc != ERROR_SUCCESS) {
      Forget();
      return wrc;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {  // cannot happen on an open file; re-read to be safe
      ::close(fd);
      Forget();
      return Succeed();
    }
    if (heldFd >= 0) ::close(heldFd);
    heldFd = fd;
    identity = st;
    missing = false;
    return Succeed();
  }
};

Store& TheStore() {
  static Store* store = new Store;  // never destroyed: usable from static destructors
  return *store;
}


// Brings the store up to date for a read, or keeps the snapshot this thread holds.
LONG LoadForRead(Store& store) {
  if (currentPin && currentPin->tree) {
    return currentPin->error != ERROR_SUCCESS ? Fail(currentPin->error, currentPin->errorText) : Succeed();
  }
  return store.Load();
}

// The tree that reads on this thread see.
Node& ReadRoot(Store& store) {
  return currentPin && currentPin->tree ? *currentPin->tree : *store.tree;
}

// ---- handles and views --------------------------------------------------------------

const RegistryKeyHandle* Predefined(HKEY key) {
  static const RegistryKeyHandle hklm{false, {kHklm}, KEY_ALL_ACCESS};
  static const RegistryKeyHandle hkcu{false, {kHkcu}, KEY_ALL_ACCESS};
  static const RegistryKeyHandle hkcr{true, {}, KEY_ALL_ACCESS};
  if (key == HKEY_LOCAL_MACHINE) return &hklm;
  if (key == HKEY_CURRENT_USER) return &hkcu;
  if (key == HKEY_CLASSES_ROOT) return &hkcr;
  return nullptr;
}

const RegistryKeyHandle* Resolve(Store& store, HKEY key) {
  if (const RegistryKeyHandle* root = Predefined(key)) return root;
  return store.handles.count(key) ? key : nullptr;
}

Path Concat(const Path& a, const Path& b) {
  Path out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

Path UserClasses(const Path& rel) { return Concat({kHkcu, L"Software", L"Classes"}, rel); }
Path MachineClasses(const Path& rel) { return Concat({kHklm, L"SOFTWARE", L"Classes"}, rel); }

// The nodes that make up a key as read: HKEY_CLASSES_ROOT shows the user's Classes
// over the machine's. Empty when the key does not exist.
std::vector<Node*> View(Store& store, bool classes, const Path& path) {
  std::vector<Node*> nodes;
  if (!classes) {
    if (Node* n = Find(ReadRoot(store), path)) nodes.push_back(n);
    return nodes;
  }
  if (Node* n = Find(ReadRoot(store), UserClasses(path))) nodes.push_back(n);
  if (Node* n = Find(ReadRoot(store), MachineClasses(path))) nodes.push_back(n);
  return nodes;
}

// Roots always exist, even in an empty registry.
bool IsRootPath(bool classes, const Path& path) { return classes ? path.empty() : path.size() == 1; }

bool Exists(Store& store, bool classes, const Path& path) {
  return IsRootPath(classes, path) || !View(store, classes, path).empty();
}

// Where a write to the key lands.
Path WritePath(bool classes, const Path& path) { return classes ? MachineClasses(path) : path; }

std::string Describe(const RegistryKeyHandle& h, const Path& path) {
  std::wstring text = h.classes ? std::wstring(kHkcr) : std::wstring();
  for (const auto& part : path) {
    if (!text.empty()) text += L'\\';
    text += part;
  }
  return platform::ToUtf8(text);
}

// Common start of every call on an open key: the store is current and the key is
// still there.
LONG Prepare(Store& store, HKEY key, const RegistryKeyHandle*& handle) {
  handle = Resolve(store, key);
  if (!handle) return Fail(ERROR_INVALID_HANDLE, "not an open registry key");
  if (LONG rc = LoadForRead(store); rc != ERROR_SUCCESS) return rc;
  if (!Exists(store, handle->classes, handle->path))
    return Fail(ERROR_KEY_DELETED, "key " + Describe(*handle, handle->path) + " was deleted");
  return ERROR_SUCCESS;
}

bool HasLineBreak(std::wstring_view name) { return name.find_first_of(L"\r\n") != std::wstring_view::npos; }

// Copies a name out for the enumeration calls: the length is in characters, without
// the terminator on return, with room for it on entry.
LONG CopyName(const std::wstring& name, LPWSTR buffer, DWORD* length) {
  if (!buffer || !length) return Fail(ERROR_INVALID_PARAMETER, "name buffer and length needed");
  if (*length < name.size() + 1) return Fail(ERROR_MORE_DATA, "name buffer too small");
  std::wmemcpy(buffer, name.data(), name.size());
  buffer[name.size()] = L'\0';
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Hands value data over the way RegQueryValueExW does.
LONG CopyData(const RegistryValue& value, DWORD* type, BYTE* data, DWORD* cbData) {
  if (data && !cbData) return Fail(ERROR_INVALID_PARAMETER, "data buffer without a size");
  if (type) *type = value.type;
  const auto size = static_cast<DWORD>(value.data.size());
  if (!cbData) return Succeed();
  if (!data) {
    *cbData = size;
    return Succeed();
  }
  if (*cbData < size) {
    *cbData = size;
    return Fail(ERROR_MORE_DATA, "data buffer too small");
  }
  if (size) std::memcpy(data, value.data.data(), size);
  *cbData = size;
  return Succeed();
}

// Subkey names of a view, the user's Classes first, each name once.
std::vector<std::wstring> MergedChildNames(const std::vector<Node*>& nodes) {
  std::vector<std::wstring> names;
  if (nodes.size() == 1) {
    names.reserve(nodes[0]->children.size());
    for (const auto& c : nodes[0]->children) names.push_back(c->name);
    return names;
  }
  std::vector<const Node*> merged;
  for (Node* n : nodes)
    for (const auto& c : n->children)
      if (std::none_of(merged.begin(), merged.end(), [&](const Node* m) { return m->upper == c->upper; }))
        merged.push_back(c.get());
  std::stable_sort(merged.begin(), merged.end(), [](const Node* a, const Node* b) { return a->upper < b->upper; });
  for (const Node* m : merged) names.push_back(m->name);
  return names;
}

std::vector<const RegistryValue*> MergedValues(const std::vector<Node*>& nodes) {
  std::vector<const RegistryValue*> values;
  for (Node* n : nodes)
    for (const auto& v : n->values)
      if (std::none_of(values.begin(), values.end(),
                       [&](const RegistryValue* m) { return platform::EqualsNoCase(m->name, v.name); }))
        values.push_back(&v);
  return values;
}

void CollectClasses(Store& store, const Path& rel, const std::wstring& shownPath,
                    std::vector<RegistryKey>& out) {
  const auto nodes = View(store, true, rel);
  RegistryKey key{shownPath, {}};
  for (const RegistryValue* v : MergedValues(nodes)) key.values.push_back(*v);
  out.push_back(std::move(key));
  for (const auto& name : MergedChildNames(nodes)) {
    Path child = rel;
    child.push_back(name);
    CollectClasses(store, child, shownPath + L"\\" + name, out);
  }
}

LONG OpenOrCreate(HKEY key, LPCWSTR subKey, REGSAM access, HKEY* result, DWORD* disposition,
                  bool create) {
  if (!result) return Fail(ERROR_INVALID_PARAMETER, "no place for the key handle");
  *result = nullptr;
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const Path path = Concat(h->path, SplitPath(subKey ? subKey : L""));
  const bool classes = h->classes;
  DWORD how = REG_OPENED_EXISTING_KEY;
  if (!Exists(store, classes, path)) {
    if (!create) return Fail(ERROR_FILE_NOT_FOUND, "no key " + Describe(*h, path));
    for (const auto& part : path)
      if (HasLineBreak(part)) return Fail(ERROR_INVALID_PARAMETER, "key names cannot hold line breaks");
    const LONG rc = store.Modify([&](Node& root, bool& changed) {
      // Looked at again under the lock: another process may have created it meanwhile.
      if (Exists(store, classes, path)) return ERROR_SUCCESS;
      FindOrCreate(root, WritePath(classes, path));
      changed = true;
      how = REG_CREATED_NEW_KEY;
      return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
  }
  auto* handle = new RegistryKeyHandle{classes, path, access};
  store.handles.insert(handle);
  *result = handle;
  if (disposition) *disposition = how;
  return Succeed();
}

// Removes the key at path (and what is under it when tree is set) from every place it
// shows through. What is left of a root is its content, as a root cannot go.
LONG RemoveKey(Node& root, bool classes, const Path& path, bool tree, bool& changed,
               const std::string& shown) {
  std::vector<Path> places;
  if (classes) {
    places = {UserClasses(path), MachineClasses(path)};
  } else {
    places = {path};
  }
  bool found = false;
  for (const Path& place : places) {
    Node* node = Find(root, place);
    if (!node) continue;
    found = true;
    if (!tree && !node->children.empty())
      return Fail(ERROR_ACCESS_DENIED, "key " + shown + " has subkeys");
  }
  if (!found) return Fail(ERROR_FILE_NOT_FOUND, "no key " + shown);
  for (const Path& place : places) {
    Path parentPath = place;
    const std::wstring last = parentPath.back();
    parentPath.pop_back();
    if (Node* parent = Find(root, parentPath)) changed = parent->RemoveChild(last) || changed;
  }
  return ERROR_SUCCESS;
}

}  // namespace

// ---- the Win32 calls ----------------------------------------------------------------

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, HKEY* result) {
  return OpenOrCreate(key, subKey, access, result, nullptr, false);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, void*,
                     HKEY* result, DWORD* disposition) {
  return OpenOrCreate(key, subKey, access, result, disposition, true);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* cbData) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const std::wstring_view name = valueName ? valueName : L"";
  for (Node* node : View(store, h->classes, h->path)) {
    if (const RegistryValue* value = node->Value(name)) return CopyData(*value, type, data, cbData);
  }
  return Fail(ERROR_FILE_NOT_FOUND,
              "no value \"" + platform::ToUtf8(name) + "\" in " + Describe(*h, h->path));
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD cbData) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  if (!(h->access & KEY_SET_VALUE)) return Fail(ERROR_ACCESS_DENIED, "key not opened for writing");
  RegistryValue value;
  value.name = valueName ? valueName : L"";
  value.type = type;
  if (!data && cbData > 0) return Fail(ERROR_INVALID_PARAMETER, "no data");
  if (HasLineBreak(value.name)) return Fail(ERROR_INVALID_PARAMETER, "value names cannot hold line breaks");
  if (type == platform::kRegDeleteValueMark) return Fail(ERROR_INVALID_PARAMETER, "bad value type");
  if (type == REG_DWORD && cbData != sizeof(DWORD))
    return Fail(ERROR_INVALID_PARAMETER, "a REG_DWORD value is 4 bytes");
  const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text && cbData % sizeof(wchar_t) != 0)
    return Fail(ERROR_INVALID_PARAMETER, "text data must be whole wchar_t characters");
  if (cbData) value.data.assign(data, data + cbData);
  if ((type == REG_SZ || type == REG_EXPAND_SZ)) {
    // Every reader expects the terminator; a caller that left it out still gets one.
    const auto units = value.data.size() / sizeof(wchar_t);
    wchar_t last = L'\1';
    if (units) std::memcpy(&last, value.data.data() + (units - 1) * sizeof(wchar_t), sizeof(wchar_t));
    if (last != L'\0') value.data.resize(value.data.size() + sizeof(wchar_t), 0);
  }
  const Path target = WritePath(h->classes, h->path);
  return store.Modify([&](Node& root, bool& changed) {
    // Under the lock the key may turn out deleted by another process; it stays deleted.
    if (!Exists(store, h->classes, h->path))
      return Fail(ERROR_KEY_DELETED, "key " + Describe(*h, h->path) + " was deleted");
    FindOrCreate(root, target)->SetValue(std::move(value));
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD*, LPWSTR keyClass,
                   DWORD* classLength, void* lastWriteTime) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const auto names = MergedChildNames(View(store, h->classes, h->path));
  if (index >= names.size()) return Fail(ERROR_NO_MORE_ITEMS, "no more subkeys");
  if (LONG rc = CopyName(names[index], name, nameLength); rc != ERROR_SUCCESS) return rc;
  if (keyClass && classLength && *classLength > 0) keyClass[0] = L'\0';
  if (classLength) *classLength = 0;
  if (lastWriteTime) std::memset(lastWriteTime, 0, 8);  // a FILETIME
  return Succeed();
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, DWORD* valueNameLength, DWORD*,
                   DWORD* type, BYTE* data, DWORD* cbData) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const auto values = MergedValues(View(store, h->classes, h->path));
  if (index >= values.size()) return Fail(ERROR_NO_MORE_ITEMS, "no more values");
  if (LONG rc = CopyName(values[index]->name, valueName, valueNameLength); rc != ERROR_SUCCESS) return rc;
  return CopyData(*values[index], type, data, cbData);
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (!subKey) return Fail(ERROR_INVALID_PARAMETER, "no subkey named");
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const Path path = Concat(h->path, SplitPath(subKey));
  if (IsRootPath(h->classes, path)) return Fail(ERROR_ACCESS_DENIED, "a root key cannot be deleted");
  const bool classes = h->classes;
  const std::string shown = Describe(*h, path);
  return store.Modify([&](Node& root, bool& changed) {
    const LONG rc = RemoveKey(root, classes, path, false, changed, shown);
    return rc == ERROR_SUCCESS ? Succeed() : rc;
  });
}

LONG RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  const Path rel = SplitPath(subKey ? subKey : L"");
  const Path path = Concat(h->path, rel);
  const bool classes = h->classes;
  const std::string shown = Describe(*h, path);
  return store.Modify([&](Node& root, bool& changed) {
    if (rel.empty() || IsRootPath(classes, path)) {
      // Without a subkey the key stays and loses its values and subkeys, as on Windows.
      for (const Path& place : classes ? std::vector<Path>{UserClasses(path), MachineClasses(path)}
                                       : std::vector<Path>{path}) {
        if (Node* node = Find(root, place)) {
          changed = changed || !node->children.empty() || !node->values.empty();
          node->children.clear();
          node->values.clear();
        }
      }
      return Succeed();
    }
    const LONG rc = RemoveKey(root, classes, path, true, changed, shown);
    return rc == ERROR_SUCCESS ? Succeed() : rc;
  });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  const RegistryKeyHandle* h = nullptr;
  if (LONG rc = Prepare(store, key, h); rc != ERROR_SUCCESS) return rc;
  if (!(h->access & KEY_SET_VALUE)) return Fail(ERROR_ACCESS_DENIED, "key not opened for writing");
  const std::wstring name = valueName ? valueName : L"";
  const bool classes = h->classes;
  const Path path = h->path;
  const std::string shown = Describe(*h, path);
  return store.Modify([&](Node& root, bool& changed) {
    for (const Path& place : classes ? std::vector<Path>{UserClasses(path), MachineClasses(path)}
                                     : std::vector<Path>{path}) {
      if (Node* node = Find(root, place)) changed = node->RemoveValue(name) || changed;
    }
    return changed ? Succeed()
                   : Fail(ERROR_FILE_NOT_FOUND, "no value \"" + platform::ToUtf8(name) + "\" in " + shown);
  });
}

LONG RegCloseKey(HKEY key) {
  if (Predefined(key)) return Succeed();
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  if (store.handles.erase(key) == 0) return Fail(ERROR_INVALID_HANDLE, "not an open registry key");
  delete key;
  return Succeed();
}

namespace platform {

std::string RegistryFilePath() {
  const char* path = std::getenv("OPOS_REGISTRY");
  if (path && *path) return path;
  return "/etc/opos/registry.reg";
}

std::string RegistryLastErrorText() { return lastErrorText; }

struct RegistryReadSnapshot::Pin : ReadPin {};

RegistryReadSnapshot::RegistryReadSnapshot() : pin_(new Pin), previous_(currentPin) {
  Refresh();
  currentPin = pin_;
}

RegistryReadSnapshot::~RegistryReadSnapshot() {
  currentPin = static_cast<ReadPin*>(previous_);
  delete pin_;
}

bool RegistryReadSnapshot::Refresh() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  PinSuspension current;  // load the file as it is now
  const LONG rc = store.Load();
  const bool changed = store.tree != pin_->tree;
  pin_->tree = store.tree;
  pin_->error = rc;
  pin_->errorText = rc == ERROR_SUCCESS ? std::string() : platform::RegistryLastErrorText();
  return changed;
}

LONG SetRegistryString(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::wstring& value) {
  HKEY handle = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &handle, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(handle, name.c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return rc;
}

LONG ImportRegFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    return Fail(err == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_CANTREAD, "cannot read " + path + ": " + ErrnoText(err));
  }
  std::string bytes;
  const bool read = ReadAll(fd, bytes);
  const int err = errno;
  ::close(fd);
  if (!read) return Fail(ERROR_CANTREAD, "cannot read " + path + ": " + ErrnoText(err));
  std::vector<RegistryKey> keys;
  std::string error;
  if (!ParseRegFile(bytes, keys, error)) return Fail(ERROR_INVALID_DATA, path + " " + error);
  Store& store = TheStore();
  std::lock_guard<std::mutex> guard(store.mutex);
  return store.Modify([&](Node& root, bool& changed) {
    ApplyKeys(root, keys);
    changed = !keys.empty();
    return ERROR_SUCCESS;
  });
}

LONG ExportRegFile(const std::string& path, const std::wstring& root) {
  std::vector<RegistryKey> keys;
  {
    Store& store = TheStore();
    std::lock_guard<std::mutex> guard(store.mutex);
    if (LONG rc = LoadForRead(store); rc != ERROR_SUCCESS) return rc;
    Node& tree = ReadRoot(store);
    const Path parts = SplitPath(root);
    if (parts.empty()) {
      for (const auto& top : tree.children) CollectKeys(*top, top->name, true, keys);
    } else if (EqualsNoCase(parts[0], kHkcr)) {
      const Path rel(parts.begin() + 1, parts.end());
      if (!Exists(store, true, rel)) return Fail(ERROR_FILE_NOT_FOUND, "no key " + ToUtf8(root));
      std::wstring shown = kHkcr;
      for (const auto& part : rel) shown += L"\\" + part;
      CollectClasses(store, rel, shown, keys);
      if (rel.empty() && keys.front().values.empty()) keys.erase(keys.begin());
    } else {
      if (!EqualsNoCase(parts[0], kHklm) && !EqualsNoCase(parts[0], kHkcu) &&
          !tree.Child(parts[0]))
        return Fail(ERROR_FILE_NOT_FOUND, "no root key " + ToUtf8(parts[0]));
      Node* node = Find(tree, parts);
      if (!node) {
        if (parts.size() != 1) return Fail(ERROR_FILE_NOT_FOUND, "no key " + ToUtf8(root));
      } else {
        // The stored spelling of every component.
        std::wstring shown;
        Node* walk = &tree;
        for (const auto& part : parts) {
          walk = walk->Child(part);
          if (!shown.empty()) shown += L'\\';
          shown += walk->name;
        }
        CollectKeys(*node, shown, parts.size() == 1, keys);
      }
    }
  }
  if (LONG rc = ReplaceFile(path, FormatRegFile(keys), nullptr); rc != ERROR_SUCCESS) return rc;
  return Succeed();
}

}  // namespace platform
