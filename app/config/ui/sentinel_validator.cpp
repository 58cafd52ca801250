#include "config/ui/sentinel_validator.h"

QValidator::State TSentinelValidator::validate(QString &input, int &) const {
    for (const QChar c : input)
        if (c.unicode() == 0 || c.unicode() > 0xFF) return Invalid;
    return Acceptable;
}
