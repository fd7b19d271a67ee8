#include "storage/datatype.h"

std::string DataTypeName(int type) {
    switch (type) {
        case kTypeString:
            return "String";
        case kTypeInteger:
            return "Integer";
        case kTypeFloat:
            return "Float";
        case kTypeDate:
            return "Date";
        case kTypeTime:
            return "Time";
        case kTypeDecimal:
            return "Decimal";
        case kTypeMoney:
            return "Money";
        case kTypeLogical:
            return "Logical";
        case kTypeNumeric:
            return "Numeric";
        case kTypeBFloat:
            return "BFloat";
        case kTypeLString:
            return "LString";
        case kTypeZString:
            return "ZString";
        case kTypeNote:
            return "Note";
        case kTypeLVar:
            return "LVar";
        case kTypeUnsigned:
            return "Unsigned Int";
        case kTypeAutoInc:
            return "AutoInc";
        case kTypeNumericSts:
            return "NumericSts";
        default:
            return "Unknown";
    }
}
