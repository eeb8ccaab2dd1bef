// Program and bank files read: byte by byte in big-endian order, every read
// checked against the bytes that are left, and the file checked against the
// effect before anything of it is loaded.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "program_file_layout.h"

namespace host {

using namespace program_file;

namespace {

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

}  // namespace host
