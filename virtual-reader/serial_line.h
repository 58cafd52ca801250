// Inside the virtual reader: what the serial front end shares with the HID side.
#pragma once

#include "reader.h"

#include <cstddef>
#include <cstdint>

namespace vr {

// Takes one message of the serial front end as the HID side takes one: logs it and answers
// it from the same reader state, with the same faults (silent, statuses, the next reply,
// unanswered messages). False when the message is to go unanswered.
bool AnswerSerialMessage(uint8_t command, const uint8_t *payload, size_t size, Answer &answer);

} // namespace vr
