#pragma once
#include <QValidator>

// A sentinel field holds one byte for the reader: only characters that fit in a byte
// (U+0001 to U+00FF) are taken, typed or pasted; anything else is refused as it comes.
class TSentinelValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};
