// Instrument types by name, and the sound each type starts from.
#pragma once

#include <optional>
#include <string_view>

#include "content/synth/score.h"

namespace synth {

std::optional<InstrumentType> instrumentTypeNamed(std::string_view name);

Sound defaultSound(InstrumentType type);

} // namespace synth
