// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zanth-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points OPOS_REGISTRY at a file for the life of the object.
class ScopedRegistryFile {
 public:
  explicit ScopedRegistryFile(const std::string& file) {
    if (const char* old = std::getenv("OPOS_REGISTRY")) {
      had_ = true;
      old_ = old;
    }
    ::setenv("OPOS_REGISTRY", file.c_str(), 1);
  }
  ~ScopedRegistryFile() {
    if (had_) ::setenv("OPOS_REGISTRY", old_.c_str(), 1);
    else ::unsetenv("OPOS_REGISTRY");
  }

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace testing_support
