#pragma once
// A value of one of a few kinds, as a stored value holds it: nothing yet (empty), Null, a
// number or a text; and the number texts it is turned into and read back from.

#include <string>
#include <variant>

#include "toolkit/Classes.h"

// A conversion the value's kind does not allow, such as Null into a number.
class EVariantError : public Exception {
public:
    using Exception::Exception;
    std::string ClassName() const override { return "EVariantError"; }
};

class TVariant {
public:
    enum class TKind { vkEmpty, vkNull, vkNumber, vkText };

    TVariant() = default;
    // Implicit, so that a number or a text can be passed where a value is asked for.
    TVariant(double value) : FValue(value) {}
    TVariant(std::string value) : FValue(std::move(value)) {}
    TVariant(const char* value) : FValue(std::string(value)) {}
    static TVariant Null();

    TKind Kind() const { return static_cast<TKind>(FValue.index()); }
    bool IsEmpty() const { return Kind() == TKind::vkEmpty; }
    bool IsNull() const { return Kind() == TKind::vkNull; }

    // Empty and Null give an empty text, a number its general form (FloatToStr), a text itself.
    std::string AsText() const;
    // Empty gives 0, a text is read by StrToFloat; Null raises EVariantError.
    double AsFloat() const;

    bool operator==(const TVariant&) const = default;

private:
    struct TNullValue {
        bool operator==(const TNullValue&) const = default;
    };
    std::variant<std::monostate, TNullValue, double, std::string> FValue;
};

// The general form: at most 15 significant digits, no grouping, the given decimal separator;
// fixed-point from 0.00001 up to 15 digits before the separator, otherwise "1.5E20" or
// "2E-7". A whole number has no decimals.
std::string FloatToStr(double value, char separator);
// The same with the user's locale's separator.
std::string FloatToStr(double value);
// Blanks at either end, one sign, digits with at most one decimal separator (the given one, no
// other), an optional exponent "E" or "e" with a sign and digits.
bool TryStrToFloat(const std::string& text, double& value, char separator);
// With the user's locale's separator; raises EConvertError "'<text>' is not a valid floating
// point value".
double StrToFloat(const std::string& text);
