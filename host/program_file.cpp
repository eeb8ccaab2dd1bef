// Program and bank files: written and read byte by byte in big-endian order,
// so the layout is the file's whatever the machine's, and every read is
// checked against the bytes that are left.
#include "vst/program_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>

namespace host {

namespace {

constexpr VstInt32 fourCC(char a, char b, char c, char d) {
  return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                               static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kChunkMagic = fourCC('C', 'c', 'n', 'K');
constexpr VstInt32 kProgramParameters = fourCC('F', 'x', 'C', 'k');
constexpr VstInt32 kProgramChunk = fourCC('F', 'P', 'C', 'h');
constexpr VstInt32 kBankParameters = fourCC('F', 'x', 'B', 'k');
constexpr VstInt32 kBankChunk = fourCC('F', 'B', 'C', 'h');
constexpr VstInt32 kFormatVersion = 1;

// The header: chunk magic, byte size, form magic, version, unique ID, the
// effect's version; byteSize counts everything after its own field.
constexpr size_t kByteSizeEnd = 8;
static_assert(kProgramFileHeaderSize == 7 * 4,
              "header: six 32-bit fields and the count after them");
// A parameter program: header with its count, the name, then the values.
constexpr size_t kProgramValuesOffset = kProgramFileHeaderSize + kProgramFileNameSize;
static_assert(kProgramValuesOffset == 56, "a parameter program's first value");
// A chunk program: header with its count, the name, the chunk's size, the chunk.
constexpr size_t kProgramChunkOffset = kProgramValuesOffset + 4;
static_assert(kProgramChunkOffset == 60, "a program chunk's first byte");
// A bank: header with its count, the reserved bytes, then the programs or the
// chunk's size and the chunk.
constexpr size_t kBankContentOffset = kProgramFileHeaderSize + kProgramFileReservedSize;
static_assert(kBankContentOffset == 156, "a bank's first program");
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "values are stored as IEEE single-precision floats");

// The largest file this writes or reads: byteSize is a signed 32-bit count.
constexpr uint64_t kMaxFileSize = static_cast<uint64_t>(std::numeric_limits<VstInt32>::max()) + 8;

std::string hex(VstInt32 code) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    text += digits[(static_cast<uint32_t>(code) >> shift) & 0xF];
  return text;
}

std::string idText(VstInt32 id) { return "'" + fourChars(id) + "' (" + hex(id) + ")"; }

// An effect's text inside an error: control characters would break its line.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

std::string plural(uint64_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

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

// --- Reading ---------------------------------------------------------------

class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  size_t position() const { return position_; }
  size_t left() const { return size_ - position_; }
  // Fails, naming `what` and where it was wanted, when fewer than `count`
  // bytes are left.
  bool need(uint64_t count, const std::string& what, std::string& error) const {
    if (count <= left()) return true;
    error = "truncated: " + what + " at byte " + std::to_string(offset()) + " needs " +
            plural(count, "byte") + ", " + std::to_string(left()) + " left";
    return false;
  }
  VstInt32 get32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | data_[position_++];
    return static_cast<VstInt32>(value);
  }
  float getFloat() {
    const auto bits = static_cast<uint32_t>(get32());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::string getName() {
    const char* text = reinterpret_cast<const char*>(data_ + position_);
    size_t length = 0;
    while (length < kProgramFileNameSize && text[length] != '\0') ++length;
    position_ += kProgramFileNameSize;
    return std::string(text, length);
  }
  const unsigned char* take(size_t count) {
    const unsigned char* at = data_ + position_;
    position_ += count;
    return at;
  }
  // A reader of the next `count` bytes only; this one moves past them.
  Reader sub(size_t count) {
    Reader inner(data_ + position_, count);
    inner.base_ = base_ + position_;
    position_ += count;
    return inner;
  }
  size_t offset() const { return base_ + position_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t position_ = 0;
  size_t base_ = 0;
};

struct Header {
  VstInt32 form = 0;
  VstInt32 id = 0;
  VstInt32 count = 0;  // the field after the header: parameters or programs
};

struct ParsedProgram {
  bool isChunk = false;
  std::string name;
  std::vector<float> values;
  const unsigned char* chunk = nullptr;
  size_t chunkSize = 0;
};

struct Parsed {
  VstInt32 form = 0;
  VstInt32 id = 0;
  std::vector<ParsedProgram> programs;   // one for a program file
  const unsigned char* chunk = nullptr;  // a bank chunk
  size_t chunkSize = 0;
};

std::string where(const Reader& reader) { return " at byte " + std::to_string(reader.offset()); }

// Reads a header and its count; `reader` is left holding exactly the bytes the
// header's byte size claims.
bool readHeader(Reader& reader, Reader& body, Header& header, std::string& error) {
  const size_t start = reader.offset();
  if (!reader.need(kProgramFileHeaderSize, "the header", error)) return false;
  const VstInt32 magic = reader.get32();
  if (magic != kChunkMagic) {
    error = "not a program or bank file: starts with " + idText(magic) + " at byte " +
            std::to_string(start) + ", not 'CcnK'";
    return false;
  }
  const VstInt32 byteSize = reader.get32();
  if (byteSize < static_cast<VstInt32>(kProgramFileHeaderSize - kByteSizeEnd)) {
    error = "the byte size at byte " + std::to_string(start + 4) + " is " +
            std::to_string(byteSize) + ", less than the header's own " +
            std::to_string(kProgramFileHeaderSize - kByteSizeEnd);
    return false;
  }
  if (static_cast<uint64_t>(byteSize) > reader.left()) {
    error = "truncated: the byte size at byte " + std::to_string(start + 4) + " claims " +
            std::to_string(byteSize) + " bytes, " + std::to_string(reader.left()) + " follow";
    return false;
  }
  body = reader.sub(static_cast<size_t>(byteSize));
  header.form = body.get32();
  const VstInt32 version = body.get32();
  header.id = body.get32();
  body.get32();  // the effect's version: any is loaded
  header.count = body.get32();
  if (header.form != kProgramParameters && header.form != kProgramChunk &&
      header.form != kBankParameters && header.form != kBankChunk) {
    error = "unknown form " + idText(header.form) + " at byte " + std::to_string(start + 8) +
            " (FxCk, FPCh, FxBk or FBCh)";
    return false;
  }
  if (version < 1 || version > 2) {
    error = "unknown format version " + std::to_string(version) + " at byte " +
            std::to_string(start + 12);
    return false;
  }
  if (header.count < 0) {
    error = "negative " + std::string(header.form == kProgramParameters ? "parameter" : "program") +
            " count " + std::to_string(header.count) + " at byte " + std::to_string(start + 24);
    return false;
  }
  return true;
}

bool readChunk(Reader& body, const unsigned char*& chunk, size_t& chunkSize, std::string& error) {
  if (!body.need(4, "the chunk size", error)) return false;
  const size_t at = body.offset();
  const VstInt32 size = body.get32();
  if (size < 0) {
    error = "negative chunk size " + std::to_string(size) + " at byte " + std::to_string(at);
    return false;
  }
  if (static_cast<uint64_t>(size) > body.left()) {
    error = "truncated: the chunk size at byte " + std::to_string(at) + " claims " +
            std::to_string(size) + " bytes, " + std::to_string(body.left()) + " follow";
    return false;
  }
  chunkSize = static_cast<size_t>(size);
  chunk = body.take(chunkSize);
  return true;
}

bool readProgramBody(Reader& body, const Header& header, ParsedProgram& program,
                     std::string& error) {
  if (!body.need(kProgramFileNameSize, "the program name", error)) return false;
  program.name = body.getName();
  program.isChunk = header.form == kProgramChunk;
  if (program.isChunk) return readChunk(body, program.chunk, program.chunkSize, error);
  const auto count = static_cast<uint64_t>(header.count);
  if (!body.need(count * 4, "the " + plural(count, "parameter value"), error)) return false;
  program.values.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < program.values.size(); ++i) {
    const size_t at = body.offset();
    program.values[i] = body.getFloat();
    if (!(program.values[i] >= 0.0f && program.values[i] <= 1.0f)) {
      error = "parameter " + std::to_string(i) + " at byte " + std::to_string(at) + " is " +
              (std::isnan(program.values[i]) ? std::string("not a number")
                                             : std::to_string(program.values[i])) +
              ", outside 0 to 1";
      return false;
    }
  }
  return true;
}

// Fails when `reader` has bytes left over once `what` is read: a count or
// size that does not match the data.
bool finished(const Reader& reader, const std::string& what, std::string& error) {
  if (reader.left() == 0) return true;
  error = std::to_string(reader.left()) + " bytes after the end of " + what + ", at byte " +
          std::to_string(reader.offset());
  return false;
}

bool parseBody(Reader& body, const Header& header, Parsed& parsed, std::string& error);

bool parse(const unsigned char* data, size_t size, Parsed& parsed, std::string& error) {
  Reader reader(data, size);
  Reader body(nullptr, 0);
  Header header;
  if (!readHeader(reader, body, header, error)) return false;
  const bool bank = header.form == kBankParameters || header.form == kBankChunk;
  return parseBody(body, header, parsed, error) &&
         finished(body, bank ? "the bank" : "the program", error) &&
         finished(reader,
                  "the " + std::to_string(reader.offset() - kByteSizeEnd) +
                      " bytes the header's byte size gives",
                  error);
}

bool parseBody(Reader& body, const Header& header, Parsed& parsed, std::string& error) {
  parsed.form = header.form;
  parsed.id = header.id;
  if (header.form == kProgramParameters || header.form == kProgramChunk) {
    parsed.programs.emplace_back();
    return readProgramBody(body, header, parsed.programs.back(), error);
  }
  if (!body.need(kProgramFileReservedSize, "the bank's reserved bytes", error)) return false;
  body.take(kProgramFileReservedSize);
  if (header.form == kBankChunk) return readChunk(body, parsed.chunk, parsed.chunkSize, error);
  // Every program of a parameter bank is a whole parameter program.
  if (static_cast<uint64_t>(header.count) * (kProgramValuesOffset) > body.left()) {
    error = "truncated: " + plural(static_cast<uint64_t>(header.count), "program") + " claimed, " +
            std::to_string(body.left()) + " bytes follow" + where(body);
    return false;
  }
  parsed.programs.resize(static_cast<size_t>(header.count));
  for (size_t i = 0; i < parsed.programs.size(); ++i) {
    const size_t at = body.offset();
    Reader inner(nullptr, 0);
    Header programHeader;
    if (!readHeader(body, inner, programHeader, error)) {
      error = "program " + std::to_string(i) + ": " + error;
      return false;
    }
    if (programHeader.form != kProgramParameters) {
      error = "program " + std::to_string(i) + " at byte " + std::to_string(at) + " is " +
              idText(programHeader.form) + ", not a parameter program (FxCk)";
      return false;
    }
    if (programHeader.id != header.id) {
      error = "program " + std::to_string(i) + " at byte " + std::to_string(at) + " is made for " +
              idText(programHeader.id) + ", the bank for " + idText(header.id);
      return false;
    }
    if (i > 0 && programHeader.count != static_cast<VstInt32>(parsed.programs[0].values.size())) {
      error = "program " + std::to_string(i) + " at byte " + std::to_string(at) + " holds " +
              plural(static_cast<uint64_t>(programHeader.count), "parameter") + ", program 0 " +
              std::to_string(parsed.programs[0].values.size());
      return false;
    }
    if (!readProgramBody(inner, programHeader, parsed.programs[i], error) ||
        !finished(inner, "the program", error)) {
      error = "program " + std::to_string(i) + ": " + error;
      return false;
    }
  }
  return true;
}

// Whether the parsed file fits the effect it is to be loaded into.
bool fits(Plugin& plugin, const Parsed& parsed, std::string& error) {
  const AEffect& record = *plugin.record();
  const bool chunk = parsed.form == kProgramChunk || parsed.form == kBankChunk;
  if (chunk && (record.flags & effFlagsProgramChunks) == 0) {
    error = "the file holds an opaque chunk, but the effect keeps no chunks (it stores " +
            plural(static_cast<uint64_t>(std::max(record.numParams, 0)), "parameter") + ")";
    return false;
  }
  const bool bank = parsed.form == kBankParameters || parsed.form == kBankChunk;
  if (bank && parsed.form == kBankParameters &&
      parsed.programs.size() > static_cast<size_t>(std::max(record.numPrograms, 0))) {
    error = "the bank holds " + plural(parsed.programs.size(), "program") +
            ", the effect has only " + std::to_string(std::max(record.numPrograms, 0));
    return false;
  }
  if (chunk || parsed.programs.empty()) return true;
  const size_t have = parsed.programs[0].values.size();
  const auto want = static_cast<size_t>(std::max(record.numParams, 0));
  if (have > want) {
    error = "the file holds " + plural(have, "parameter") + ", the effect has only " +
            std::to_string(want);
    return false;
  }
  if (have < want) {
    std::string missing;
    const size_t shown = std::min<size_t>(want, have + 8);
    for (size_t i = have; i < shown; ++i)
      missing += (i > have ? ", " : "") + std::to_string(i) + " '" +
                 oneLine(plugin.parameterName(static_cast<VstInt32>(i))) + "'";
    if (shown < want) missing += ", ...";
    error = "the file holds " + plural(have, "parameter") + ", the effect has " +
            std::to_string(want) + ": missing " + missing;
    return false;
  }
  return true;
}

void setName(Plugin& plugin, const std::string& name) {
  // Never longer than the effect's name buffer takes.
  char buffer[kVstMaxProgNameLen + 1] = {};
  std::memcpy(buffer, name.data(), std::min<size_t>(name.size(), kVstMaxProgNameLen));
  plugin.dispatch(effSetProgramName, 0, 0, buffer);
}

void applyProgram(Plugin& plugin, const ParsedProgram& program) {
  if (program.isChunk) {
    // The effect gets a copy of its own, so a chunk it writes into or keeps a
    // pointer to during the call never touches the caller's bytes.
    std::vector<unsigned char> copy(program.chunk, program.chunk + program.chunkSize);
    plugin.dispatch(effSetChunk, 1, static_cast<VstIntPtr>(copy.size()), copy.data());
  }
  setName(plugin, program.name);
  for (size_t i = 0; i < program.values.size(); ++i)
    plugin.setParameter(static_cast<VstInt32>(i), program.values[i]);
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

bool loadProgramState(Plugin& plugin, const unsigned char* data, size_t size,
                      const ProgramFileLoadOptions& options, std::string& error,
                      ProgramFileProblem* problem) {
  const auto fail = [&](ProgramFileProblem kind) {
    if (problem != nullptr) *problem = kind;
    return false;
  };
  if (problem != nullptr) *problem = ProgramFileProblem::kNone;
  if (!plugin.isOpen()) {
    error = "the effect is closed";
    return fail(ProgramFileProblem::kIo);
  }
  if (data == nullptr) size = 0;
  Parsed parsed;
  if (!parse(data, size, parsed, error)) return fail(ProgramFileProblem::kMalformed);
  const AEffect& record = *plugin.record();
  if (parsed.id != record.uniqueID && !options.force) {
    error =
        "made for the plug-in " + idText(parsed.id) + ", not this one, " + idText(record.uniqueID);
    return fail(ProgramFileProblem::kOtherPlugin);
  }
  if (!fits(plugin, parsed, error)) return fail(ProgramFileProblem::kMalformed);

  if (parsed.form == kBankChunk) {
    std::vector<unsigned char> copy(parsed.chunk, parsed.chunk + parsed.chunkSize);
    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data());
    return true;
  }
  if (parsed.form == kProgramParameters || parsed.form == kProgramChunk) {
    applyProgram(plugin, parsed.programs[0]);
    return true;
  }
  const VstIntPtr current = plugin.dispatch(effGetProgram);
  for (size_t i = 0; i < parsed.programs.size(); ++i) {
    plugin.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(i));
    applyProgram(plugin, parsed.programs[i]);
  }
  plugin.dispatch(effSetProgram, 0, current);
  return true;
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

bool loadProgramFile(Plugin& plugin, const std::string& path, const ProgramFileLoadOptions& options,
                     std::string& error, ProgramFileProblem* problem) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open";
    if (problem != nullptr) *problem = ProgramFileProblem::kIo;
    return false;
  }
  std::vector<unsigned char> bytes;
  char buffer[65536];
  while (file) {
    file.read(buffer, sizeof buffer);
    const auto got = static_cast<size_t>(file.gcount());
    if (bytes.size() + got > kMaxFileSize) {
      error = path + ": too large for a program or bank file";
      if (problem != nullptr) *problem = ProgramFileProblem::kMalformed;
      return false;
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  if (file.bad()) {
    error = path + ": cannot read";
    if (problem != nullptr) *problem = ProgramFileProblem::kIo;
    return false;
  }
  if (!loadProgramState(plugin, bytes.data(), bytes.size(), options, error, problem)) {
    error = path + ": " + error;
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
