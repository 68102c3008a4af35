#pragma once
// A settings file store in memory for unit tests, on the clock of a Platform (a
// FakePlatform's virtual one): files change at times a test sets, as an editor saving in
// place would change them, and every read, replace and writer's turn is recorded.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_store.h"
#include "platform/path_text.h"
#include "platform/platform.h"

namespace tovanik {

class FakeFileStore final : public FileStore {
 public:
  using Time = Platform::Clock::time_point;
  explicit FakeFileStore(Platform& clock) : clock_(clock) {}

  struct File {
    std::string bytes;
    Time changed;
  };
  std::map<std::string, File> files_;
  std::set<std::string> folders_;  // folders that exist; a file needs its folder
  // Changes that land when the clock reaches `at`: `bytes` replace the file's.
  struct Change {
    Time at;
    std::string path, bytes;
  };
  std::vector<Change> scheduled_;
  bool lock_busy_ = false;         // another writer holds the lock past any patience
  std::function<void()> on_turn_;  // runs as a writer's turn begins: another writer's change
  std::string fail_reads_;         // a reason: every read fails with it
  int reads_ = 0, replaces_ = 0;   // counted; a turn's read and replace count too

  // `bytes` last changed `agoMs` before now.
  void put(const std::string& path, std::string bytes, int agoMs = 60000) {
    folders_.insert(folderOf(path));
    files_[path] = File{std::move(bytes), clock_.now() - std::chrono::milliseconds(agoMs)};
  }
  // `bytes` land `inMs` from now.
  void schedule(const std::string& path, std::string bytes, int inMs) {
    scheduled_.push_back({clock_.now() + std::chrono::milliseconds(inMs), path, std::move(bytes)});
  }
  std::string bytesOf(const std::string& path) {
    land();
    auto it = files_.find(path);
    return it == files_.end() ? "<missing>" : it->second.bytes;
  }

  std::optional<std::string> read(const std::string& path, std::string* whyNot,
                                  std::chrono::milliseconds) override {
    land();
    ++reads_;
    if (!fail_reads_.empty()) {
      if (whyNot) *whyNot = fail_reads_;
      return std::nullopt;
    }
    auto it = files_.find(path);
    if (it != files_.end()) return it->second.bytes;
    if (!folders_.contains(folderOf(path))) {
      if (whyNot) *whyNot = "No such file or directory";
      return std::nullopt;
    }
    files_[path] = File{"", clock_.now()};  // created empty, as the real stores do
    return std::string();
  }

  bool replace(const std::string& path, std::string_view bytes, std::string* whyNot) override {
    land();
    ++replaces_;
    if (!folders_.contains(folderOf(path))) {
      if (whyNot) *whyNot = "No such file or directory";
      return false;
    }
    files_[path] = File{std::string(bytes), clock_.now()};
    return true;
  }

  std::optional<FileStamp> stamp(const std::string& path) override {
    land();
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return FileStamp{0, 0, it->second.bytes.size(), it->second.changed.time_since_epoch().count(),
                     0};
  }

  std::optional<std::chrono::milliseconds> sinceLastChange(const std::string& path) override {
    land();
    auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    const auto age =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now() - it->second.changed);
    return std::max(age, std::chrono::milliseconds(0));  // a stamp in the future: just now
  }

  bool ensureFolder(const std::string& path, std::string* whyNot) override {
    if (folders_.contains(path) || folders_.contains(folderOf(path))) {
      folders_.insert(path);
      return true;
    }
    if (whyNot) *whyNot = "No such file or directory";
    return false;
  }

  std::unique_ptr<FileTurn> takeTurn(const std::string& path, std::chrono::milliseconds patience,
                                     std::string* whyNot) override {
    if (lock_busy_) {
      clock_.sleepMs(static_cast<int>(patience.count()));
      if (whyNot) *whyNot = lockHeldTooLong(patience);
      return nullptr;
    }
    if (on_turn_) on_turn_();
    return std::make_unique<Turn>(*this, path);
  }

 private:
  class Turn final : public FileTurn {
   public:
    Turn(FakeFileStore& store, std::string path) : store_(store), path_(std::move(path)) {}
    std::optional<std::string> read(std::string* whyNot) override {
      return store_.read(path_, whyNot, {});
    }
    bool replace(std::string_view bytes, std::string* whyNot) override {
      return store_.replace(path_, bytes, whyNot);
    }

   private:
    FakeFileStore& store_;
    std::string path_;
  };

  static std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind(kPathSeparator));
  }

  // Lands every scheduled change whose time has come, in order.
  void land() {
    const Time now = clock_.now();
    for (auto it = scheduled_.begin(); it != scheduled_.end();) {
      if (it->at > now) {
        ++it;
        continue;
      }
      folders_.insert(folderOf(it->path));
      files_[it->path] = File{it->bytes, it->at};
      it = scheduled_.erase(it);
    }
  }

  Platform& clock_;
};

}  // namespace tovanik
