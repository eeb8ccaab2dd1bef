// Program and bank files written: byte by byte in big-endian order, so the
// layout is the file's whatever the machine's.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "program_file_layout.h"

namespace host {

using namespace program_file;

namespace {

// A name as the effect reads it: at most kVstMaxProgNameLen characters.
std::string programName(Plugin& plugin) {
  char buffer[512] = {};
  plugin.dispatch(effGetProgramName, 0, 0, buffer);
  buffer[sizeof buffer - 1] = '\0';
  std::string name = buffer;
  if (name.size() > kVstMaxProgNameLen) name.resize(kVstMaxProgNameLen);
  return name;
}

class Writer {
 public:
  explicit Writer(std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  size_t size() const { return bytes_.size(); }
  void put32(VstInt32 value) {
    const auto v = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes_.push_back(static_cast<unsigned char>((v >> shift) & 0xFF));
  }
  void putFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put32(static_cast<VstInt32>(bits));
  }
  void putName(const std::string& name) {
    for (size_t i = 0; i < kProgramFileNameSize; ++i)
      bytes_.push_back(i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
  }
  void putZeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void putBytes(const unsigned char* data, size_t count) {
    if (count > 0) bytes_.insert(bytes_.end(), data, data + count);
  }
  // The header with a byte size to be filled in by finish().
  size_t header(VstInt32 form, const AEffect& record) {
    const size_t start = bytes_.size();
    put32(kChunkMagic);
    put32(0);
    put32(form);
    put32(kFormatVersion);
    put32(record.uniqueID);
    put32(record.version);
    return start;
  }
  bool finish(size_t start, std::string& error) {
    const uint64_t size = bytes_.size() - start;
    if (size > kMaxFileSize) {
      error = "the state is too large for a program file (" + std::to_string(size) + " bytes)";
      return false;
    }
    const auto byteSize = static_cast<uint32_t>(size - kByteSizeEnd);
    for (int i = 0; i < 4; ++i)
      bytes_[start + 4 + static_cast<size_t>(i)] =
          static_cast<unsigned char>((byteSize >> (24 - 8 * i)) & 0xFF);
    return true;
  }

 private:
  std::vector<unsigned char>& bytes_;
};

// The effect's chunk, copied at once: the effect owns the memory it points to.
bool getChunk(Plugin& plugin, bool program, std::vector<unsigned char>& chunk, std::string& error) {
  void* data = nullptr;
  const VstIntPtr size = plugin.dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size < 0 || static_cast<uint64_t>(size) > kMaxFileSize - kBankContentOffset - 4) {
    error = "the effect answered a " + std::string(program ? "program" : "bank") + " chunk of " +
            std::to_string(size) + " bytes";
    return false;
  }
  if (size > 0 && data == nullptr) {
    error = "the effect answered a " + std::string(program ? "program" : "bank") + " chunk of " +
            std::to_string(size) + " bytes at a null address";
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  chunk.assign(bytes, bytes + size);
  return true;
}

bool writeParameterProgram(Plugin& plugin, Writer& writer, std::string& error) {
  const AEffect& record = *plugin.record();
  const VstInt32 count = std::max<VstInt32>(record.numParams, 0);
  if (static_cast<uint64_t>(count) * 4 > kMaxFileSize) {
    error = "the effect claims " + plural(static_cast<uint64_t>(count), "parameter");
    return false;
  }
  const size_t start = writer.header(kProgramParameters, record);
  writer.put32(count);
  writer.putName(programName(plugin));
  for (VstInt32 i = 0; i < count; ++i) writer.putFloat(plugin.getParameter(i));
  return writer.finish(start, error);
}

}  // namespace

bool saveProgramState(Plugin& plugin, ProgramFileKind kind, std::vector<unsigned char>& bytes,
                      std::string& error) {
  bytes.clear();
  if (!plugin.isOpen()) {
    error = "the effect is closed";
    return false;
  }
  const AEffect& record = *plugin.record();
  const bool chunks = (record.flags & effFlagsProgramChunks) != 0;
  Writer writer(bytes);
  if (kind == ProgramFileKind::kProgram) {
    if (!chunks) return writeParameterProgram(plugin, writer, error);
    std::vector<unsigned char> chunk;
    if (!getChunk(plugin, true, chunk, error)) return false;
    const size_t start = writer.header(kProgramChunk, record);
    writer.put32(std::max<VstInt32>(record.numParams, 0));
    writer.putName(programName(plugin));
    writer.put32(static_cast<VstInt32>(chunk.size()));
    writer.putBytes(chunk.data(), chunk.size());
    return writer.finish(start, error);
  }
  if (chunks) {
    std::vector<unsigned char> chunk;
    if (!getChunk(plugin, false, chunk, error)) return false;
    const size_t start = writer.header(kBankChunk, record);
    writer.put32(std::max<VstInt32>(record.numPrograms, 0));
    writer.putZeros(kProgramFileReservedSize);
    writer.put32(static_cast<VstInt32>(chunk.size()));
    writer.putBytes(chunk.data(), chunk.size());
    return writer.finish(start, error);
  }
  const VstInt32 programs = record.numPrograms;
  if (programs < 1) {
    error = "the effect has no programs to put in a bank (save a program instead)";
    return false;
  }
  const uint64_t estimate =
      static_cast<uint64_t>(programs) *
      (kProgramValuesOffset + 4 * static_cast<uint64_t>(std::max(record.numParams, 0)));
  if (estimate > kMaxFileSize) {
    error = "the effect's " + plural(static_cast<uint64_t>(programs), "program") +
            " are too large for a bank file";
    return false;
  }
  const size_t start = writer.header(kBankParameters, record);
  writer.put32(programs);
  writer.putZeros(kProgramFileReservedSize);
  const VstIntPtr current = plugin.dispatch(effGetProgram);
  bool written = true;
  for (VstInt32 i = 0; i < programs && written; ++i) {
    plugin.dispatch(effSetProgram, 0, i);
    written = writeParameterProgram(plugin, writer, error);
  }
  plugin.dispatch(effSetProgram, 0, current);
  return written && writer.finish(start, error);
}
bool saveProgramFile(Plugin& plugin, ProgramFileKind kind, const std::string& path,
                     std::string& error) {
  std::vector<unsigned char> bytes;
  if (!saveProgramState(plugin, kind, bytes, error)) {
    error = path + ": " + error;
    return false;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (file) file.close();
  if (!file) {
    error = path + ": cannot write";
    return false;
  }
  return true;
}
bool programFileKindForPath(const std::string& path, ProgramFileKind& kind) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".fxp")
    kind = ProgramFileKind::kProgram;
  else if (extension == ".fxb")
    kind = ProgramFileKind::kBank;
  else
    return false;
  return true;
}

}  // namespace host
