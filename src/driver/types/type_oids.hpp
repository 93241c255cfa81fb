#pragma once
// Type OIDs of the built-in types (pg_type.dat) that the driver decodes or
// sends as parameter types.
#include <libpq-fe.h>

namespace nelvor::driver::type_oid {

enum : Oid {
    kUnknown = 0,  // as a parameter type: the server infers it, as for a quoted literal
    kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
    kOid = 26, kJson = 114, kFloat4 = 700, kFloat8 = 701, kBpchar = 1042,
    kVarchar = 1043, kDate = 1082, kTime = 1083, kTimestamp = 1114, kTimestamptz = 1184,
    kInterval = 1186, kTimetz = 1266, kNumeric = 1700, kUuid = 2950, kJsonb = 3802,
};

// Their array types.
enum : Oid {
    kBoolArray = 1000, kByteaArray = 1001, kCharArray = 1002, kNameArray = 1003, kInt2Array = 1005,
    kInt4Array = 1007, kTextArray = 1009, kBpcharArray = 1014, kVarcharArray = 1015, kInt8Array = 1016,
    kFloat4Array = 1021, kFloat8Array = 1022, kOidArray = 1028, kJsonArray = 199, kJsonbArray = 3807,
    kNumericArray = 1231, kUuidArray = 2951, kDateArray = 1182, kTimeArray = 1183, kTimetzArray = 1270,
    kTimestampArray = 1115, kTimestamptzArray = 1185, kIntervalArray = 1187,
};

}  // namespace nelvor::driver::type_oid
