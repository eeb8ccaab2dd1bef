// Identity texts declared once. An effect gives its name, vendor, product and
// vendor version in one record, as it gives its parameter table, and derives
// from vst::ParameterEffect (or vst::IdentityEffect, for an effect that keeps
// its own parameters), which answers effGetEffectName, effGetVendorString,
// effGetProductString and effGetVendorVersion from it.
//
//   constexpr vst::Identity kIdentity = {"Gain", "Velmbrook", "Gain example", 1000};
//   Gain(audioMasterCallback host) : ParameterEffect(host, 1, kParameters, kIdentity) { ... }
#pragma once

#include <cstddef>

#include "vst/audio_effect_x.h"
#include "vst/text_copy.h"

namespace vst {

// A text of at most `Max` characters, given as a literal or a char array. One
// longer than that does not compile.
template <VstInt32 Max>
class BoundedText {
 public:
  constexpr BoundedText() noexcept = default;
  template <std::size_t N>
  constexpr BoundedText(const char (&text)[N]) noexcept : text_(text) {  // NOLINT: from a literal
    static_assert(N - 1 <= static_cast<std::size_t>(Max),
                  "an identity text over its kind's limit of characters");
  }
  constexpr const char* text() const noexcept { return text_; }

 private:
  const char* text_ = "";
};

// What a host shows of an effect. Each text at most its kind's 24 characters;
// the vendor version is the effect's own number (0 unless given).
struct Identity {
  BoundedText<kEffectNameText.maxCharacters()> effectName;
  BoundedText<kVendorText.maxCharacters()> vendor;
  BoundedText<kProductText.maxCharacters()> product;
  VstInt32 vendorVersion = 0;
};

// An AudioEffectX that answers the identity calls from an Identity it keeps a
// copy of: each text through the bounded copy within its kind (exactly 25
// bytes into the host's buffer, zero-filled), and true. Adds no virtual
// operation.
class IdentityEffect : public AudioEffectX {
 public:
  // [construction]
  IdentityEffect(audioMasterCallback host, VstInt32 programs, VstInt32 parameters,
                 const Identity& identity)
      : AudioEffectX(host, programs, parameters), identity_(identity), identified_(true) {}

  // [any thread]
  bool getEffectName(char* name) override {
    return answer(name, identity_.effectName.text(), kEffectNameText);
  }
  bool getVendorString(char* text) override {
    return answer(text, identity_.vendor.text(), kVendorText);
  }
  bool getProductString(char* text) override {
    return answer(text, identity_.product.text(), kProductText);
  }
  VstInt32 getVendorVersion() override { return identity_.vendorVersion; }

 protected:
  // [construction] No identity: the answers stay AudioEffectX's defaults
  // (nothing written, false, a vendor version of 0).
  IdentityEffect(audioMasterCallback host, VstInt32 programs, VstInt32 parameters)
      : AudioEffectX(host, programs, parameters), identified_(false) {}

 private:
  bool answer(char* text, const char* value, TextKind kind) const noexcept {
    if (identified_) copyText(text, value, kind);
    return identified_;
  }
  Identity identity_;
  bool identified_;
};

}  // namespace vst
