#include "platform/socket/endpoint.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform::endpoint {
namespace {

constexpr mode_t kDirectoryMode = 0700;

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool MakeDirectories(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    const std::string part = directory.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), kDirectoryMode) != 0 && errno != EEXIST) {
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string DevicesDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/veltra/devices";
  return "/tmp/veltra-" + std::to_string(::getuid()) + "/devices";
}

bool PrepareDevicesDirectory(const std::string& directory) {
  if (directory.empty() || !MakeDirectories(directory)) return false;
  struct stat self {};
  if (::lstat(directory.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) return false;
  if (self.st_uid != ::geteuid() || (self.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
  const std::size_t slash = directory.find_last_of('/');
  const std::string parent = slash == 0 ? "/" : directory.substr(0, slash);
  if (slash == std::string::npos) return true;
  struct stat above {};
  if (::stat(parent.c_str(), &above) != 0) return false;
  // A parent that another user owns could swap the directory for one of theirs.
  return above.st_uid == ::geteuid() || above.st_uid == 0;
}

bool ListInstrumentSockets(const std::string& directory, std::vector<std::string>& paths) {
  paths.clear();
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!EndsWith(name, SOCKET_SUFFIX)) continue;
    bool socket = entry->d_type == DT_SOCK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      const std::string path = directory + "/" + name;
      socket = ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
    }
    if (socket) names.push_back(name);
  }
  ::closedir(dir);
  // std::string compares its characters as unsigned bytes, which is the order the endpoint uses.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) paths.push_back(directory + "/" + name);
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace platform::endpoint
