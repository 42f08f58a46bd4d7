#include "firmware/package_reader.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace firmware {

namespace {

#ifdef _WIN32

class FileSource final : public ByteSource {
 public:
  FileSource(HANDLE file, std::uint64_t size) : file_(file), remaining_(size) {}
  ~FileSource() override { CloseHandle(file_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const std::size_t left = count - done;
      const DWORD piece = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!ReadFile(file_, buffer + done, piece, &got, nullptr) || got == 0) break;
      done += got;
    }
    remaining_ -= done < remaining_ ? done : remaining_;
    return done;
  }
  std::uint64_t Remaining() const override { return remaining_; }

 private:
  HANDLE file_;
  std::uint64_t remaining_;
};

#else

class FileSource final : public ByteSource {
 public:
  FileSource(int fd, std::uint64_t size) : fd_(fd), remaining_(size) {}
  ~FileSource() override { ::close(fd_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::read(fd_, buffer + done, count - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    remaining_ -= done < remaining_ ? done : remaining_;
    return done;
  }
  std::uint64_t Remaining() const override { return remaining_; }

 private:
  int fd_;
  std::uint64_t remaining_;
};

#endif

}  // namespace

std::unique_ptr<ByteSource> OpenPackageFile(const char* path) {
#ifdef _WIN32
  // Share mode 0: nobody else may open the file while it is read, and the open fails while
  // someone else holds it.
  HANDLE file =
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<FileSource>(file, static_cast<std::uint64_t>(size.QuadPart));
#else
  // POSIX cannot refuse other openers, so this is a plain open. A directory or a device would
  // open here but not on Windows, and a FIFO could block the window: only regular files count.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(info.st_size));
#endif
}

}  // namespace firmware
