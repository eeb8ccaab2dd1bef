// Fuzz target: a byte stream becomes a sequence of host calls on one live
// instance made through the plug-in entry: every dispatcher opcode from -10 to
// 100 (and now and then one far outside) with arbitrary index, value and opt,
// parameter changes with any float, sample rates of any float and processing
// with any frame count; effClose at the end.
//
// Where the interface hands the effect a buffer or a record, the target passes
// one of exactly the size a host would allocate, on the heap, so the address
// sanitizer sees a write past it; where the interface passes no pointer, the
// pointer and value are arbitrary bits the effect must never follow.
#include <algorithm>
#include <memory>
#include <vector>

#include "byte_reader.h"
#include "vst/opcode_arguments.h"
#include "vst/vst.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

int hostCallsAfterEntry = 0;
bool entryDone = false;
bool historyBounded = true;  // every sample processed so far lies within [-1, 1]

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (entryDone) ++hostCallsAfterEntry;
  return opcode == audioMasterVersion ? 2400 : 0;
}

std::unique_ptr<VstSpeakerArrangement> arrangementFrom(ByteReader& in) {
  auto arrangement = std::make_unique<VstSpeakerArrangement>();
  auto* bytes = reinterpret_cast<unsigned char*>(arrangement.get());
  for (size_t i = 0; i < sizeof *arrangement; ++i) bytes[i] = in.byte();
  arrangement->numChannels = in.byte() % 9;  // what the record really holds
  return arrangement;
}

void dispatch(AEffect* effect, ByteReader& in) {
  const uint8_t selector = in.byte();
  VstInt32 opcode = selector < 250 ? static_cast<VstInt32>(in.byte() % 111) - 10 : in.anyInt();
  if (opcode == effClose) opcode = effOpen;  // closing comes once, at the end
  const VstInt32 index = in.byte() < 200 ? static_cast<VstInt32>(in.byte() % 8) - 2 : in.anyInt();
  VstIntPtr value = in.anyIntPtr();
  const float opt = in.anyFloat();
  const bool nullPointer = (selector & 7) == 0;
  void* ptr = reinterpret_cast<void*>(in.anyIntPtr());  // never to be followed

  std::vector<char> buffer;
  std::string inputText;
  std::unique_ptr<VstSpeakerArrangement> input, output;
  void* places[2] = {reinterpret_cast<void*>(0x1), reinterpret_cast<void*>(0x1)};
  using Argument = host::OpcodeArgument;
  const Argument argument = host::opcodeArgument(opcode);
  switch (argument.kind) {
    case Argument::kTextOut:
      buffer.assign(argument.bytes, '\xAA');
      ptr = nullPointer ? nullptr : buffer.data();
      break;
    case Argument::kTextIn:
      inputText = in.text();
      ptr = nullPointer ? nullptr : &inputText[0];
      break;
    case Argument::kPointerSlot: ptr = nullPointer ? nullptr : &places[0]; break;
    case Argument::kChunkIn:
      buffer.resize(in.byte());
      for (char& c : buffer) c = static_cast<char>(in.byte());
      ptr = nullPointer ? nullptr : buffer.data();
      value = static_cast<VstIntPtr>(buffer.size());
      break;
    case Argument::kSpeakerRecords:
      input = arrangementFrom(in);
      output = arrangementFrom(in);
      value = nullPointer ? 0 : reinterpret_cast<VstIntPtr>(input.get());
      ptr = nullPointer ? nullptr : output.get();
      break;
    case Argument::kSpeakerSlots:
      value = nullPointer ? 0 : reinterpret_cast<VstIntPtr>(&places[0]);
      ptr = (selector & 8) != 0 ? nullptr : &places[1];
      break;
    case Argument::kRecord:
      buffer.resize(512);
      for (char& c : buffer) c = static_cast<char>(in.byte());
      ptr = nullPointer ? nullptr : buffer.data();
      break;
    case Argument::kNoPointer: break;
  }

  effect->dispatcher(effect, opcode, index, value, ptr, opt);

  if (argument.kind == Argument::kTextOut && ptr != nullptr) {
    // Whatever the effect wrote must be terminated inside the host's buffer.
    const bool written =
        std::any_of(buffer.begin(), buffer.end(), [](char c) { return c != '\xAA'; });
    if (written) FUZZ_CHECK(std::find(buffer.begin(), buffer.end(), '\0') != buffer.end());
  }
}

// One processing call with any frame count and any samples. Frame counts of 0
// or below must leave the outputs untouched; while every input ever processed
// was within [-1, 1], so is every output.
void process(AEffect* effect, ByteReader& in) {
  const uint8_t shape = in.byte();
  VstInt32 frames = 0;
  switch (shape % 4) {
    case 0: frames = 0; break;
    case 1: frames = in.anyInt() | std::numeric_limits<VstInt32>::min(); break;  // negative
    case 2: frames = 1 + in.byte() + 256 * (in.byte() & 1); break;
    case 3: frames = (shape & 0x30) == 0 ? 70000 : 1 + in.raw<uint16_t>() % 4096; break;
  }
  float pattern[16];
  bool bounded = true;
  for (float& sample : pattern) {
    sample = (shape & 0x40) != 0 ? in.anyFloat() : static_cast<float>(in.byte()) / 128.0f - 1.0f;
    bounded = bounded && std::fabs(sample) <= 1.0f;
  }
  constexpr float kUntouched = 12345.0f;
  const size_t length = static_cast<size_t>(std::max(frames, 0)) + 16;
  std::vector<float> channels[4];
  for (int c = 0; c < 4; ++c) {
    channels[c].assign(length, kUntouched);
    if (c < 2)
      for (size_t i = 0; i < length; ++i) channels[c][i] = pattern[(i * (c + 3)) % 16];
  }
  float* inputs[2] = {channels[0].data(), channels[1].data()};
  const bool inPlace = (shape & 0x80) != 0;
  float* outputs[2] = {inPlace ? inputs[0] : channels[2].data(),
                       inPlace ? inputs[1] : channels[3].data()};
  const uint8_t path = in.byte() % 8;
  if (path == 0) {
    effect->process(effect, inputs, outputs, frames);  // deprecated: does nothing
  } else if (path == 1) {
    double left[4] = {7, 7, 7, 7}, right[4] = {7, 7, 7, 7};
    double* doubles[2] = {left, right};
    effect->processDoubleReplacing(effect, doubles, doubles, std::min(frames, 4));
    FUZZ_CHECK(left[0] == 7 && right[3] == 7);  // not supported: nothing written
    return;
  } else {
    effect->processReplacing(effect, inputs, outputs, frames);
    historyBounded = historyBounded && bounded;
  }
  if (inPlace) return;
  const size_t written = path == 0 ? 0 : static_cast<size_t>(std::max(frames, 0));
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < length; ++i) {
      const float sample = outputs[c][i];
      if (i >= written)
        FUZZ_CHECK(sample == kUntouched);
      else if (historyBounded)
        FUZZ_CHECK(std::fabs(sample) <= 1.0f);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  entryDone = false;
  hostCallsAfterEntry = 0;
  historyBounded = true;
  AEffect* effect = VSTPluginMain(hostCallback);
  FUZZ_CHECK(effect != nullptr && effect->magic == kEffectMagic);
  entryDone = true;
  for (int step = 0; step < 200 && !in.empty(); ++step) {
    switch (in.byte() % 8) {
      case 0:
      case 1:
      case 2: dispatch(effect, in); break;
      case 3: {
        const VstInt32 index =
            in.byte() < 220 ? static_cast<VstInt32>(in.byte() % 6) - 1 : in.anyInt();
        effect->setParameter(effect, index, in.anyFloat());
        break;
      }
      case 4: {
        const VstInt32 index =
            in.byte() < 220 ? static_cast<VstInt32>(in.byte() % 6) - 1 : in.anyInt();
        const float value = effect->getParameter(effect, index);
        if (index < 0 || index > 2) FUZZ_CHECK(value == 0.0f);
        break;
      }
      case 5: effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, in.anyFloat()); break;
      default: process(effect, in); break;
    }
  }
  FUZZ_CHECK(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f) == 1);
  FUZZ_CHECK(hostCallsAfterEntry == 0);  // the effect never calls its host
  return 0;
}
