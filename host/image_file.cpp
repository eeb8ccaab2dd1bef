// PNG files through stb's single-file codecs (public domain): the whole
// file is made in memory, written beside its target and renamed into place,
// so a reader never sees half a picture.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vst/editor_window.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace host {

namespace {

void appendBytes(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<unsigned char>*>(context);
  const auto* begin = static_cast<const unsigned char*>(data);
  bytes->insert(bytes->end(), begin, begin + size);
}

// `bytes` into `path`, whole or not at all.
bool writeWhole(const std::string& path, const std::vector<unsigned char>& bytes,
                std::string& error) {
#if defined(_WIN32)
  const std::string temporary =
      path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = path + ": cannot write the picture there (" + std::strerror(errno) + ")";
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    error = path + ": cannot write the whole picture";
    return false;
  }
  if (!MoveFileExA(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    std::remove(temporary.c_str());
    error = path + ": cannot put the picture in place (Windows error " +
            std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
#else
  std::string pattern = path + ".tmp-XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) {
    error = path + ": cannot write the picture there (" + std::strerror(errno) + ")";
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;
    done += static_cast<size_t>(wrote);
  }
  const int writeError = errno;
  fchmod(fd, 0644);
  const bool closed = ::close(fd) == 0;
  if (done < bytes.size() || !closed) {
    unlink(pattern.c_str());
    error = path + ": cannot write the whole picture (" +
            std::strerror(done < bytes.size() ? writeError : errno) + ")";
    return false;
  }
  if (std::rename(pattern.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    unlink(pattern.c_str());
    error = path + ": cannot put the picture in place (" + std::strerror(renameError) + ")";
    return false;
  }
  return true;
#endif
}

}  // namespace

bool writePng(const std::string& path, const Image& image, std::string& error) {
  if (image.width < 1 || image.height < 1 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
    error = path + ": no picture to write (" + std::to_string(image.width) + "x" +
            std::to_string(image.height) + ")";
    return false;
  }
  std::vector<unsigned char> rgba(image.pixels.size() * 4);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const uint32_t p = image.pixels[i];
    rgba[4 * i] = static_cast<unsigned char>(p >> 16);
    rgba[4 * i + 1] = static_cast<unsigned char>(p >> 8);
    rgba[4 * i + 2] = static_cast<unsigned char>(p);
    rgba[4 * i + 3] = static_cast<unsigned char>(p >> 24);
  }
  std::vector<unsigned char> bytes;
  if (stbi_write_png_to_func(appendBytes, &bytes, image.width, image.height, 4, rgba.data(),
                             image.width * 4) == 0 ||
      bytes.empty()) {
    error = path + ": cannot encode the picture as PNG";
    return false;
  }
  return writeWhole(path, bytes, error);
}

bool readPng(const std::string& path, Image& image, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  int width = 0, height = 0, channels = 0;
  unsigned char* rgba = stbi_load_from_file(file, &width, &height, &channels, 4);
  std::fclose(file);
  if (rgba == nullptr) {
    error = path + ": not a PNG picture (" + stbi_failure_reason() + ")";
    return false;
  }
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (size_t i = 0; i < image.pixels.size(); ++i)
    image.pixels[i] = static_cast<uint32_t>(rgba[4 * i + 3]) << 24 |
                      static_cast<uint32_t>(rgba[4 * i]) << 16 |
                      static_cast<uint32_t>(rgba[4 * i + 1]) << 8 | rgba[4 * i + 2];
  stbi_image_free(rgba);
  return true;
}

}  // namespace host
