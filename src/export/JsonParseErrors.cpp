#include "export/JsonParseErrors.h"

#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"

namespace quorvex {

std::string ParseErrorText(rapidjson::ParseErrorCode code) {
    switch (code) {
    case rapidjson::kParseErrorDocumentEmpty:
        return TranslateText(N_("The document is empty."));
    case rapidjson::kParseErrorDocumentRootNotSingular:
        return TranslateText(N_("The document root must not be followed by other values."));
    case rapidjson::kParseErrorValueInvalid:
        return TranslateText(N_("Invalid value."));
    case rapidjson::kParseErrorObjectMissName:
        return TranslateText(N_("Missing a name for object member."));
    case rapidjson::kParseErrorObjectMissColon:
        return TranslateText(N_("Missing a colon after a name of object member."));
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
        return TranslateText(N_("Missing a comma or '}' after an object member."));
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
        return TranslateText(N_("Missing a comma or ']' after an array element."));
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
        return TranslateText(N_("Incorrect hex digit after \\u escape in string."));
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
        return TranslateText(N_("The surrogate pair in string is invalid."));
    case rapidjson::kParseErrorStringEscapeInvalid:
        return TranslateText(N_("Invalid escape character in string."));
    case rapidjson::kParseErrorStringMissQuotationMark:
        return TranslateText(N_("Missing a closing quotation mark in string."));
    case rapidjson::kParseErrorStringInvalidEncoding:
        return TranslateText(N_("Invalid encoding in string."));
    case rapidjson::kParseErrorNumberTooBig:
        return TranslateText(N_("Number too big to be stored in double."));
    case rapidjson::kParseErrorNumberMissFraction:
        return TranslateText(N_("Miss fraction part in number."));
    case rapidjson::kParseErrorNumberMissExponent:
        return TranslateText(N_("Miss exponent in number."));
    case rapidjson::kParseErrorTermination:
        return TranslateText(N_("Terminate parsing due to Handler error."));
    default:
        return TranslateText(N_("Unspecific syntax error."));
    }
}

} // namespace quorvex
