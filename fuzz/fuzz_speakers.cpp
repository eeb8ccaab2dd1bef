// Fuzz target: the speaker-arrangement tools with any channel count, any
// record contents and null pointers, in any order. Every arrangement made is
// written through whole (so a block smaller than its channel count is caught)
// and compared with what was asked for; the leak checker sees what is not freed.
#include <vector>

#include "byte_reader.h"
#include "vst/audio_effect_x.h"

namespace {

class ToolsOnlyEffect : public AudioEffectX {
 public:
  ToolsOnlyEffect() : AudioEffectX(nullptr, 1, 0) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

bool allZero(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

// `to` must be `from` with the name cut to 63 characters and zero-filled.
void checkCopied(const VstSpeakerProperties& to, const VstSpeakerProperties& from) {
  FUZZ_CHECK(std::memcmp(&to, &from, offsetof(VstSpeakerProperties, name)) == 0);
  FUZZ_CHECK(std::strncmp(to.name, from.name, 63) == 0);
  const size_t length = std::strlen(to.name);
  FUZZ_CHECK(length <= 63 && allZero(to.name + length, 64 - length));
  FUZZ_CHECK(std::memcmp(&to.type, &from.type, sizeof to - offsetof(VstSpeakerProperties, type)) ==
             0);
}

void fill(ByteReader& in, void* data, size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) bytes[i] = in.byte();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ToolsOnlyEffect effect;
  ByteReader in(data, size);
  VstSpeakerArrangement* mine = nullptr;
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    switch (in.byte() % 4) {
      case 0: {
        // Channel counts a host could mean, and ones no block can hold.
        const uint8_t shape = in.byte();
        const VstInt32 count = shape < 200 ? static_cast<VstInt32>(in.raw<uint16_t>() % 1100)
                                           : (in.anyInt() | (shape & 1 ? 0 : 0x7F000000));
        if (count > 1100 && count <= 19173961) break;  // valid but too large to fuzz quickly
        const bool made = effect.allocateArrangement(&mine, count);
        if (!made) {
          FUZZ_CHECK(mine == nullptr);
          break;
        }
        FUZZ_CHECK(count >= 0 && count <= 19173961);
        FUZZ_CHECK(mine != nullptr && mine->type == 0 && mine->numChannels == count);
        const size_t bytes = 112 * static_cast<size_t>(count);
        FUZZ_CHECK(allZero(vstSpeakerAt(mine, 0), bytes));
        std::memset(vstSpeakerAt(mine, 0), 0x33, bytes);  // the whole block is ours
        break;
      }
      case 1:
        FUZZ_CHECK(effect.deallocateArrangement(&mine));
        FUZZ_CHECK(mine == nullptr);
        break;
      case 2: {
        VstSpeakerProperties from, to;
        fill(in, &from, sizeof from);
        fill(in, &to, sizeof to);
        const uint8_t nulls = in.byte() % 4;
        const bool copied =
            effect.copySpeaker(nulls == 1 ? nullptr : &to, nulls == 2 ? nullptr : &from);
        FUZZ_CHECK(copied == (nulls == 0 || nulls == 3));
        if (copied) checkCopied(to, from);
        break;
      }
      default: {
        const VstInt32 channels = in.byte() % 17;
        std::vector<unsigned char> block(8 + 112 * static_cast<size_t>(channels));
        fill(in, block.data(), block.size());
        auto* from = reinterpret_cast<VstSpeakerArrangement*>(block.data());
        from->numChannels = channels;
        if (in.byte() % 8 == 0) {
          VstSpeakerArrangement* before = mine;
          FUZZ_CHECK(!effect.matchArrangement(&mine, nullptr));
          FUZZ_CHECK(mine == before);
          break;
        }
        FUZZ_CHECK(effect.matchArrangement(&mine, from));
        FUZZ_CHECK(mine != nullptr && mine->type == from->type && mine->numChannels == channels);
        for (VstInt32 i = 0; i < channels; ++i)
          checkCopied(*vstSpeakerAt(mine, i), *vstSpeakerAt(from, i));
        break;
      }
    }
  }
  FUZZ_CHECK(effect.deallocateArrangement(&mine));
  return 0;
}
