// The speaker-arrangement tools: arrangements an effect keeps of its own, each
// one block of raw bytes (8-byte header plus 112 bytes per channel).
#include <cstring>
#include <new>

#include "vst/audio_effect_x.h"
#include "vst/text_copy.h"

namespace {

// Frees a block made by allocateArrangement and empties the caller's pointer.
void freeArrangement(VstSpeakerArrangement** arrangement) {
  delete[] reinterpret_cast<char*>(*arrangement);
  *arrangement = nullptr;
}

}  // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
  if (arrangement == nullptr) return false;
  freeArrangement(arrangement);
  // Beyond this count the byte size no longer fits a signed 32-bit count; such
  // a request is refused rather than served with a block that is too small.
  if (nbChannels < 0 || nbChannels > kMaxArrangementChannels) return false;
  const std::size_t size = kVstSpeakerArrangementHeaderSize +
                           kVstSpeakerPropertiesSize * static_cast<std::size_t>(nbChannels);
  char* block = new (std::nothrow) char[size];
  if (block == nullptr) return false;
  std::memset(block, 0, size);
  *arrangement = reinterpret_cast<VstSpeakerArrangement*>(block);
  (*arrangement)->numChannels = nbChannels;
  return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
  if (arrangement != nullptr) freeArrangement(arrangement);
  return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
  if (to == nullptr || from == nullptr) return false;
  // Read the whole source first so that a record copied onto itself stays sound.
  VstSpeakerProperties source;
  std::memcpy(&source, from, sizeof source);
  vst::copyText(to->name, source.name, kVstMaxNameLen - 1);
  // The numeric fields travel as bytes: bit for bit, whatever they hold.
  std::memcpy(&to->azimuth, &source.azimuth, sizeof source.azimuth);
  std::memcpy(&to->elevation, &source.elevation, sizeof source.elevation);
  std::memcpy(&to->radius, &source.radius, sizeof source.radius);
  std::memcpy(&to->reserved, &source.reserved, sizeof source.reserved);
  to->type = source.type;
  std::memcpy(to->future, source.future, sizeof source.future);
  return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
  if (from == nullptr) return false;
  // Matching an arrangement to itself: freeing it first would leave `from`
  // dangling, and the arrangement already matches.
  if (to != nullptr && *to == from) return true;
  if (!deallocateArrangement(to)) return false;
  if (!allocateArrangement(to, from->numChannels)) return false;
  VstSpeakerArrangement* arrangement = *to;
  if (arrangement == nullptr) return false;  // an override that answered true without a block
  arrangement->type = from->type;
  for (VstInt32 channel = 0; channel < arrangement->numChannels; ++channel) {
    if (!copySpeaker(vstSpeakerAt(arrangement, channel), vstSpeakerAt(from, channel))) return false;
  }
  return true;
}
