// What the fuzz programs share: a message handler that records every message
// and answers "Нет", and a private scratch folder for files under test.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/Messages.h"

namespace fuzz {

class RecordingMessages : public drs::MessageHandler {
 public:
  int Show(const drs::MessageRequest& request) override {
    ++count;
    last = request.text;
    return drs::kAnswerNo;
  }
  long count = 0;
  std::string last;
};

// Installs the recording handler once for the whole run.
inline RecordingMessages& Messages() {
  static RecordingMessages handler;
  static bool installed = (drs::SetMessageHandler(&handler), true);
  (void)installed;
  return handler;
}

// A folder of our own, removed at a normal exit (a crash leaves it for the
// post-mortem).
inline const std::string& ScratchDir() {
  static std::string dir = [] {
    std::string base = "/tmp/drsfuzz.XXXXXX";
    if (!::mkdtemp(base.data())) std::abort();
    return base;
  }();
  static bool cleanup = (std::atexit([] {
                           std::error_code ignored;
                           std::filesystem::remove_all(ScratchDir(), ignored);
                         }),
                         true);
  (void)cleanup;
  return dir;
}

// Writes the bytes to a file in the scratch folder (whole or abort).
inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = ScratchDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  return path;
}

}  // namespace fuzz
