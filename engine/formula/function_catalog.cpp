#include "engine/formula/function_catalog.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "engine/core/ascii.h"

namespace corvane {

namespace {

// Built-in functions by their number in the file, with the number of arguments a
// fixed-argument call takes. 0-379 are those of .xls files ([MS-XLS] 2.5.198.17 Ftab, whose
// other numbers are macro-sheet functions); 380-479 came into the core with Excel 2007 (the
// Analysis ToolPak and the cube functions), 480-484 with it too ([MS-XLSB] Ftab). Argument
// counts follow the tables' grammar: "(ref / val), *29(ref / val)" is 1 to 30.
constexpr FunctionSpec kBuiltins[] = {
    {0, "COUNT", 1, 30}, {1, "IF", 2, 3}, {2, "ISNA", 1, 1}, {3, "ISERROR", 1, 1}, {4, "SUM", 1, 30},
    {5, "AVERAGE", 1, 30}, {6, "MIN", 1, 30}, {7, "MAX", 1, 30}, {8, "ROW", 0, 1}, {9, "COLUMN", 0, 1},
    {10, "NA", 0, 0}, {11, "NPV", 2, 30}, {12, "STDEV", 1, 30}, {13, "DOLLAR", 1, 2}, {14, "FIXED", 2, 3},
    {15, "SIN", 1, 1}, {16, "COS", 1, 1}, {17, "TAN", 1, 1}, {18, "ATAN", 1, 1}, {19, "PI", 0, 0},
    {20, "SQRT", 1, 1}, {21, "EXP", 1, 1}, {22, "LN", 1, 1}, {23, "LOG10", 1, 1}, {24, "ABS", 1, 1},
    {25, "INT", 1, 1}, {26, "SIGN", 1, 1}, {27, "ROUND", 2, 2}, {28, "LOOKUP", 2, 3}, {29, "INDEX", 2, 4},
    {30, "REPT", 2, 2}, {31, "MID", 3, 3}, {32, "LEN", 1, 1}, {33, "VALUE", 1, 1}, {34, "TRUE", 0, 0},
    {35, "FALSE", 0, 0}, {36, "AND", 1, 30}, {37, "OR", 1, 30}, {38, "NOT", 1, 1}, {39, "MOD", 2, 2},
    {40, "DCOUNT", 3, 3}, {41, "DSUM", 3, 3}, {42, "DAVERAGE", 3, 3}, {43, "DMIN", 3, 3}, {44, "DMAX", 3, 3},
    {45, "DSTDEV", 3, 3}, {46, "VAR", 1, 30}, {47, "DVAR", 3, 3}, {48, "TEXT", 2, 2}, {49, "LINEST", 1, 4},
    {50, "TREND", 1, 4}, {51, "LOGEST", 1, 4}, {52, "GROWTH", 1, 4}, {56, "PV", 3, 5}, {57, "FV", 3, 5},
    {58, "NPER", 3, 5}, {59, "PMT", 3, 5}, {60, "RATE", 3, 6}, {61, "MIRR", 3, 3}, {62, "IRR", 1, 2},
    {63, "RAND", 0, 0}, {64, "MATCH", 2, 3}, {65, "DATE", 3, 3}, {66, "TIME", 3, 3}, {67, "DAY", 1, 1},
    {68, "MONTH", 1, 1}, {69, "YEAR", 1, 1}, {70, "WEEKDAY", 1, 2}, {71, "HOUR", 1, 1}, {72, "MINUTE", 1, 1},
    {73, "SECOND", 1, 1}, {74, "NOW", 0, 0}, {75, "AREAS", 1, 1}, {76, "ROWS", 1, 1}, {77, "COLUMNS", 1, 1},
    {78, "OFFSET", 3, 5}, {82, "SEARCH", 2, 3}, {83, "TRANSPOSE", 1, 1}, {86, "TYPE", 1, 1},
    {92, "SERIES", 4, 5, false, nullptr, false}, {97, "ATAN2", 2, 2}, {98, "ASIN", 1, 1}, {99, "ACOS", 1, 1}, {100, "CHOOSE", 2, 30},
    {101, "HLOOKUP", 3, 4}, {102, "VLOOKUP", 3, 4}, {105, "ISREF", 1, 1}, {109, "LOG", 1, 2},
    {111, "CHAR", 1, 1}, {112, "LOWER", 1, 1}, {113, "UPPER", 1, 1}, {114, "PROPER", 1, 1}, {115, "LEFT", 1, 2},
    {116, "RIGHT", 1, 2}, {117, "EXACT", 2, 2}, {118, "TRIM", 1, 1}, {119, "REPLACE", 4, 4},
    {120, "SUBSTITUTE", 3, 4}, {121, "CODE", 1, 1}, {124, "FIND", 2, 3}, {125, "CELL", 1, 2},
    {126, "ISERR", 1, 1}, {127, "ISTEXT", 1, 1}, {128, "ISNUMBER", 1, 1}, {129, "ISBLANK", 1, 1},
    {130, "T", 1, 1}, {131, "N", 1, 1}, {140, "DATEVALUE", 1, 1}, {141, "TIMEVALUE", 1, 1}, {142, "SLN", 3, 3},
    {143, "SYD", 4, 4}, {144, "DDB", 4, 5}, {148, "INDIRECT", 1, 2}, {162, "CLEAN", 1, 1},
    {163, "MDETERM", 1, 1}, {164, "MINVERSE", 1, 1}, {165, "MMULT", 2, 2}, {167, "IPMT", 4, 6},
    {168, "PPMT", 4, 6}, {169, "COUNTA", 1, 30}, {183, "PRODUCT", 1, 30}, {184, "FACT", 1, 1},
    {189, "DPRODUCT", 3, 3}, {190, "ISNONTEXT", 1, 1}, {193, "STDEVP", 1, 30}, {194, "VARP", 1, 30},
    {195, "DSTDEVP", 3, 3}, {196, "DVARP", 3, 3}, {197, "TRUNC", 1, 2}, {198, "ISLOGICAL", 1, 1},
    {199, "DCOUNTA", 3, 3}, {204, "USDOLLAR", 1, 2}, {205, "FINDB", 2, 3}, {206, "SEARCHB", 2, 3},
    {207, "REPLACEB", 4, 4}, {208, "LEFTB", 1, 2}, {209, "RIGHTB", 1, 2}, {210, "MIDB", 3, 3},
    {211, "LENB", 1, 1}, {212, "ROUNDUP", 2, 2}, {213, "ROUNDDOWN", 2, 2}, {214, "ASC", 1, 1},
    {215, "DBCS", 1, 1}, {216, "RANK", 2, 3}, {219, "ADDRESS", 2, 5}, {220, "DAYS360", 2, 3},
    {221, "TODAY", 0, 0}, {222, "VDB", 5, 7}, {227, "MEDIAN", 1, 30}, {228, "SUMPRODUCT", 1, 30},
    {229, "SINH", 1, 1}, {230, "COSH", 1, 1}, {231, "TANH", 1, 1}, {232, "ASINH", 1, 1}, {233, "ACOSH", 1, 1},
    {234, "ATANH", 1, 1}, {235, "DGET", 3, 3}, {244, "INFO", 1, 1}, {247, "DB", 4, 5}, {252, "FREQUENCY", 2, 2},
    {261, "ERROR.TYPE", 1, 1}, {269, "AVEDEV", 1, 30}, {270, "BETADIST", 3, 5}, {271, "GAMMALN", 1, 1},
    {272, "BETAINV", 3, 5}, {273, "BINOMDIST", 4, 4}, {274, "CHIDIST", 2, 2}, {275, "CHIINV", 2, 2},
    {276, "COMBIN", 2, 2}, {277, "CONFIDENCE", 3, 3}, {278, "CRITBINOM", 3, 3}, {279, "EVEN", 1, 1},
    {280, "EXPONDIST", 3, 3}, {281, "FDIST", 3, 3}, {282, "FINV", 3, 3}, {283, "FISHER", 1, 1},
    {284, "FISHERINV", 1, 1}, {285, "FLOOR", 2, 2}, {286, "GAMMADIST", 4, 4}, {287, "GAMMAINV", 3, 3},
    {288, "CEILING", 2, 2}, {289, "HYPGEOMDIST", 4, 4}, {290, "LOGNORMDIST", 3, 3}, {291, "LOGINV", 3, 3},
    {292, "NEGBINOMDIST", 3, 3}, {293, "NORMDIST", 4, 4}, {294, "NORMSDIST", 1, 1}, {295, "NORMINV", 3, 3},
    {296, "NORMSINV", 1, 1}, {297, "STANDARDIZE", 3, 3}, {298, "ODD", 1, 1}, {299, "PERMUT", 2, 2},
    {300, "POISSON", 3, 3}, {301, "TDIST", 3, 3}, {302, "WEIBULL", 4, 4}, {303, "SUMXMY2", 2, 2},
    {304, "SUMX2MY2", 2, 2}, {305, "SUMX2PY2", 2, 2}, {306, "CHITEST", 2, 2}, {307, "CORREL", 2, 2},
    {308, "COVAR", 2, 2}, {309, "FORECAST", 3, 3}, {310, "FTEST", 2, 2}, {311, "INTERCEPT", 2, 2},
    {312, "PEARSON", 2, 2}, {313, "RSQ", 2, 2}, {314, "STEYX", 2, 2}, {315, "SLOPE", 2, 2},
    {316, "TTEST", 4, 4}, {317, "PROB", 3, 4}, {318, "DEVSQ", 1, 30}, {319, "GEOMEAN", 1, 30},
    {320, "HARMEAN", 1, 30}, {321, "SUMSQ", 1, 30}, {322, "KURT", 1, 30}, {323, "SKEW", 1, 30},
    {324, "ZTEST", 2, 3}, {325, "LARGE", 2, 2}, {326, "SMALL", 2, 2}, {327, "QUARTILE", 2, 2},
    {328, "PERCENTILE", 2, 2}, {329, "PERCENTRANK", 2, 3}, {330, "MODE", 1, 30}, {331, "TRIMMEAN", 2, 2},
    {332, "TINV", 2, 2}, {336, "CONCATENATE", 1, 30}, {337, "POWER", 2, 2}, {342, "RADIANS", 1, 1},
    {343, "DEGREES", 1, 1}, {344, "SUBTOTAL", 2, 30}, {345, "SUMIF", 2, 3}, {346, "COUNTIF", 2, 2},
    {347, "COUNTBLANK", 1, 1}, {350, "ISPMT", 4, 4}, {351, "DATEDIF", 3, 3}, {352, "DATESTRING", 1, 1},
    {353, "NUMBERSTRING", 2, 2}, {354, "ROMAN", 1, 2}, {358, "GETPIVOTDATA", 2, 2}, {359, "HYPERLINK", 1, 2},
    {360, "PHONETIC", 1, 1}, {361, "AVERAGEA", 1, 30}, {362, "MAXA", 1, 30}, {363, "MINA", 1, 30},
    {364, "STDEVPA", 1, 30}, {365, "VARPA", 1, 30}, {366, "STDEVA", 1, 30}, {367, "VARA", 1, 30},
    {368, "BAHTTEXT", 1, 1}, {369, "THAIDAYOFWEEK", 1, 1}, {370, "THAIDIGIT", 1, 1},
    {371, "THAIMONTHOFYEAR", 1, 1}, {372, "THAINUMSOUND", 1, 1}, {373, "THAINUMSTRING", 1, 1},
    {374, "THAISTRINGLENGTH", 1, 1}, {375, "ISTHAIDIGIT", 1, 1}, {376, "ROUNDBAHTDOWN", 1, 1},
    {377, "ROUNDBAHTUP", 1, 1}, {378, "THAIYEAR", 1, 1}, {379, "RTD", 2, 5}, {380, "CUBEVALUE", 2, 255},
    {381, "CUBEMEMBER", 2, 3}, {382, "CUBEMEMBERPROPERTY", 3, 3}, {383, "CUBERANKEDMEMBER", 3, 4},
    {384, "HEX2BIN", 1, 2}, {385, "HEX2DEC", 1, 1}, {386, "HEX2OCT", 1, 2}, {387, "DEC2BIN", 1, 2},
    {388, "DEC2HEX", 1, 2}, {389, "DEC2OCT", 1, 2}, {390, "OCT2BIN", 1, 2}, {391, "OCT2HEX", 1, 2},
    {392, "OCT2DEC", 1, 1}, {393, "BIN2DEC", 1, 1}, {394, "BIN2OCT", 1, 2}, {395, "BIN2HEX", 1, 2},
    {396, "IMSUB", 2, 2}, {397, "IMDIV", 2, 2}, {398, "IMPOWER", 2, 2}, {399, "IMABS", 1, 1},
    {400, "IMSQRT", 1, 1}, {401, "IMLN", 1, 1}, {402, "IMLOG2", 1, 1}, {403, "IMLOG10", 1, 1},
    {404, "IMSIN", 1, 1}, {405, "IMCOS", 1, 1}, {406, "IMEXP", 1, 1}, {407, "IMARGUMENT", 1, 1},
    {408, "IMCONJUGATE", 1, 1}, {409, "IMAGINARY", 1, 1}, {410, "IMREAL", 1, 1}, {411, "COMPLEX", 2, 3},
    {412, "IMSUM", 1, 255}, {413, "IMPRODUCT", 1, 255}, {414, "SERIESSUM", 4, 4}, {415, "FACTDOUBLE", 1, 1},
    {416, "SQRTPI", 1, 1}, {417, "QUOTIENT", 2, 2}, {418, "DELTA", 1, 2}, {419, "GESTEP", 1, 2},
    {420, "ISEVEN", 1, 1}, {421, "ISODD", 1, 1}, {422, "MROUND", 2, 2}, {423, "ERF", 1, 2}, {424, "ERFC", 1, 1},
    {425, "BESSELJ", 2, 2}, {426, "BESSELK", 2, 2}, {427, "BESSELY", 2, 2}, {428, "BESSELI", 2, 2},
    {429, "XIRR", 2, 3}, {430, "XNPV", 3, 3}, {431, "PRICEMAT", 5, 6}, {432, "YIELDMAT", 5, 6},
    {433, "INTRATE", 4, 5}, {434, "RECEIVED", 4, 5}, {435, "DISC", 4, 5}, {436, "PRICEDISC", 4, 5},
    {437, "YIELDDISC", 4, 5}, {438, "TBILLEQ", 3, 3}, {439, "TBILLPRICE", 3, 3}, {440, "TBILLYIELD", 3, 3},
    {441, "PRICE", 6, 7}, {442, "YIELD", 6, 7}, {443, "DOLLARDE", 2, 2}, {444, "DOLLARFR", 2, 2},
    {445, "NOMINAL", 2, 2}, {446, "EFFECT", 2, 2}, {447, "CUMPRINC", 6, 6}, {448, "CUMIPMT", 6, 6},
    {449, "EDATE", 2, 2}, {450, "EOMONTH", 2, 2}, {451, "YEARFRAC", 2, 3}, {452, "COUPDAYBS", 3, 4},
    {453, "COUPDAYS", 3, 4}, {454, "COUPDAYSNC", 3, 4}, {455, "COUPNCD", 3, 4}, {456, "COUPNUM", 3, 4},
    {457, "COUPPCD", 3, 4}, {458, "DURATION", 5, 6}, {459, "MDURATION", 5, 6}, {460, "ODDLPRICE", 7, 8},
    {461, "ODDLYIELD", 7, 8}, {462, "ODDFPRICE", 8, 9}, {463, "ODDFYIELD", 8, 9}, {464, "RANDBETWEEN", 2, 2},
    {465, "WEEKNUM", 1, 2}, {466, "AMORDEGRC", 6, 7}, {467, "AMORLINC", 6, 7}, {468, "CONVERT", 3, 3},
    {469, "ACCRINT", 6, 8}, {470, "ACCRINTM", 4, 5}, {471, "WORKDAY", 2, 3}, {472, "NETWORKDAYS", 2, 3},
    {473, "GCD", 1, 255}, {474, "MULTINOMIAL", 1, 255}, {475, "LCM", 1, 255}, {476, "FVSCHEDULE", 2, 2},
    {477, "CUBEKPIMEMBER", 3, 4}, {478, "CUBESET", 2, 5}, {479, "CUBESETCOUNT", 1, 1},
    // New worksheet functions of Excel 2007.
    {480, "IFERROR", 2, 2},
    {481, "COUNTIFS", 2, 255},
    {482, "SUMIFS", 3, 255},
    {483, "AVERAGEIF", 2, 3},
    {484, "AVERAGEIFS", 3, 255},
};

// Functions added after Excel 2007: binary files call them by name, .xlsx formulas with
// the _xlfn. prefix.
constexpr FunctionSpec kPrefixed[] = {
    {kNoFunctionId, "ACOT", 1, 1, true}, {kNoFunctionId, "ACOTH", 1, 1, true},
    {kNoFunctionId, "AGGREGATE", 3, 255, true}, {kNoFunctionId, "ANCHORARRAY", 1, 1, true},
    {kNoFunctionId, "ARABIC", 1, 1, true}, {kNoFunctionId, "ARRAYTOTEXT", 1, 2, true},
    {kNoFunctionId, "BASE", 2, 3, true}, {kNoFunctionId, "BETA.DIST", 4, 6, true},
    {kNoFunctionId, "BETA.INV", 3, 5, true}, {kNoFunctionId, "BINOM.DIST", 4, 4, true},
    {kNoFunctionId, "BINOM.DIST.RANGE", 3, 4, true, "B"}, {kNoFunctionId, "BINOM.INV", 3, 3, true},
    {kNoFunctionId, "BITAND", 2, 2, true}, {kNoFunctionId, "BITLSHIFT", 2, 2, true},
    {kNoFunctionId, "BITOR", 2, 2, true}, {kNoFunctionId, "BITRSHIFT", 2, 2, true},
    {kNoFunctionId, "BITXOR", 2, 2, true}, {kNoFunctionId, "BYCOL", 1, 2, true}, {kNoFunctionId, "BYROW", 1, 2, true},
    {kNoFunctionId, "CEILING.MATH", 1, 3, true}, {kNoFunctionId, "CEILING.PRECISE", 1, 2, true},
    {kNoFunctionId, "CHISQ.DIST", 3, 3, true}, {kNoFunctionId, "CHISQ.DIST.RT", 2, 2, true},
    {kNoFunctionId, "CHISQ.INV", 2, 2, true}, {kNoFunctionId, "CHISQ.INV.RT", 2, 2, true},
    {kNoFunctionId, "CHISQ.TEST", 2, 2, true}, {kNoFunctionId, "CHOOSECOLS", 2, 255, true},
    {kNoFunctionId, "CHOOSEROWS", 2, 255, true}, {kNoFunctionId, "COMBINA", 2, 2, true},
    {kNoFunctionId, "CONCAT", 1, 255, true}, {kNoFunctionId, "CONFIDENCE.NORM", 3, 3, true},
    {kNoFunctionId, "CONFIDENCE.T", 3, 3, true}, {kNoFunctionId, "COT", 1, 1, true},
    {kNoFunctionId, "COTH", 1, 1, true}, {kNoFunctionId, "COVARIANCE.P", 2, 2, true},
    {kNoFunctionId, "COVARIANCE.S", 2, 2, true}, {kNoFunctionId, "CSC", 1, 1, true},
    {kNoFunctionId, "CSCH", 1, 1, true}, {kNoFunctionId, "DAYS", 2, 2, true}, {kNoFunctionId, "DECIMAL", 2, 2, true},
    {kNoFunctionId, "DROP", 2, 3, true}, {kNoFunctionId, "ENCODEURL", 1, 1, true},
    {kNoFunctionId, "ERF.PRECISE", 1, 1, true}, {kNoFunctionId, "ERFC.PRECISE", 1, 1, true},
    {kNoFunctionId, "EXPAND", 2, 4, true}, {kNoFunctionId, "EXPON.DIST", 3, 3, true},
    {kNoFunctionId, "F.DIST", 4, 4, true}, {kNoFunctionId, "F.DIST.RT", 3, 3, true},
    {kNoFunctionId, "F.INV", 3, 3, true}, {kNoFunctionId, "F.INV.RT", 3, 3, true},
    {kNoFunctionId, "F.TEST", 2, 2, true}, {kNoFunctionId, "FIELDVALUE", 2, 2, true},
    {kNoFunctionId, "FILTER", 2, 3, true}, {kNoFunctionId, "FILTERXML", 2, 2, true},
    {kNoFunctionId, "FLOOR.MATH", 1, 3, true}, {kNoFunctionId, "FLOOR.PRECISE", 1, 2, true},
    {kNoFunctionId, "FORECAST.ETS", 3, 6, true, "ORG.LIBREOFFICE.FORECAST.ETS.ADD"}, {kNoFunctionId, "FORECAST.ETS.CONFINT", 3, 7, true, "ORG.LIBREOFFICE.FORECAST.ETS.PI.ADD"},
    {kNoFunctionId, "FORECAST.ETS.SEASONALITY", 2, 4, true, "ORG.LIBREOFFICE.FORECAST.ETS.SEASONALITY"}, {kNoFunctionId, "FORECAST.ETS.STAT", 3, 6, true, "ORG.LIBREOFFICE.FORECAST.ETS.STAT.ADD"},
    {kNoFunctionId, "FORECAST.LINEAR", 3, 3, true}, {kNoFunctionId, "FORMULATEXT", 1, 1, true, "FORMULA"},
    {kNoFunctionId, "GAMMA", 1, 1, true}, {kNoFunctionId, "GAMMA.DIST", 4, 4, true},
    {kNoFunctionId, "GAMMA.INV", 3, 3, true}, {kNoFunctionId, "GAMMALN.PRECISE", 1, 1, true},
    {kNoFunctionId, "GAUSS", 1, 1, true}, {kNoFunctionId, "GROUPBY", 3, 8, true},
    {kNoFunctionId, "HSTACK", 1, 255, true}, {kNoFunctionId, "HYPGEOM.DIST", 5, 5, true},
    {kNoFunctionId, "IFNA", 2, 2, true}, {kNoFunctionId, "IFS", 2, 254, true}, {kNoFunctionId, "IMAGE", 1, 5, true},
    {kNoFunctionId, "IMCOSH", 1, 1, true}, {kNoFunctionId, "IMCOT", 1, 1, true}, {kNoFunctionId, "IMCSC", 1, 1, true},
    {kNoFunctionId, "IMCSCH", 1, 1, true}, {kNoFunctionId, "IMSEC", 1, 1, true},
    {kNoFunctionId, "IMSECH", 1, 1, true}, {kNoFunctionId, "IMSINH", 1, 1, true},
    {kNoFunctionId, "IMTAN", 1, 1, true}, {kNoFunctionId, "ISFORMULA", 1, 1, true},
    {kNoFunctionId, "ISOMITTED", 1, 1, true}, {kNoFunctionId, "ISOWEEKNUM", 1, 1, true},
    {kNoFunctionId, "LAMBDA", 1, 255, true}, {kNoFunctionId, "LET", 3, 255, true},
    {kNoFunctionId, "LOGNORM.DIST", 4, 4, true}, {kNoFunctionId, "LOGNORM.INV", 3, 3, true},
    {kNoFunctionId, "MAKEARRAY", 3, 3, true}, {kNoFunctionId, "MAP", 2, 255, true},
    {kNoFunctionId, "MAXIFS", 3, 255, true}, {kNoFunctionId, "MINIFS", 3, 255, true},
    {kNoFunctionId, "MODE.MULT", 1, 255, true}, {kNoFunctionId, "MODE.SNGL", 1, 255, true},
    {kNoFunctionId, "MUNIT", 1, 1, true}, {kNoFunctionId, "NEGBINOM.DIST", 4, 4, true},
    {kNoFunctionId, "NORM.DIST", 4, 4, true}, {kNoFunctionId, "NORM.INV", 3, 3, true},
    {kNoFunctionId, "NORM.S.DIST", 2, 2, true}, {kNoFunctionId, "NORM.S.INV", 1, 1, true},
    {kNoFunctionId, "NUMBERVALUE", 1, 3, true}, {kNoFunctionId, "PDURATION", 3, 3, true},
    {kNoFunctionId, "PERCENTILE.EXC", 2, 2, true}, {kNoFunctionId, "PERCENTILE.INC", 2, 2, true},
    {kNoFunctionId, "PERCENTOF", 1, 2, true}, {kNoFunctionId, "PERCENTRANK.EXC", 2, 3, true},
    {kNoFunctionId, "PERCENTRANK.INC", 2, 3, true}, {kNoFunctionId, "PERMUTATIONA", 2, 2, true},
    {kNoFunctionId, "PHI", 1, 1, true}, {kNoFunctionId, "PIVOTBY", 4, 11, true},
    {kNoFunctionId, "POISSON.DIST", 3, 3, true}, {kNoFunctionId, "QUARTILE.EXC", 2, 2, true},
    {kNoFunctionId, "QUARTILE.INC", 2, 2, true}, {kNoFunctionId, "RANDARRAY", 0, 5, true},
    {kNoFunctionId, "RANK.AVG", 2, 3, true}, {kNoFunctionId, "RANK.EQ", 2, 3, true},
    {kNoFunctionId, "REDUCE", 2, 3, true}, {kNoFunctionId, "REGEXEXTRACT", 2, 4, true},
    {kNoFunctionId, "REGEXREPLACE", 3, 6, true}, {kNoFunctionId, "REGEXTEST", 2, 3, true},
    {kNoFunctionId, "RRI", 3, 3, true}, {kNoFunctionId, "SCAN", 2, 3, true}, {kNoFunctionId, "SEC", 1, 1, true},
    {kNoFunctionId, "SECH", 1, 1, true}, {kNoFunctionId, "SEQUENCE", 1, 4, true},
    {kNoFunctionId, "SHEET", 0, 1, true}, {kNoFunctionId, "SHEETS", 0, 1, true},
    {kNoFunctionId, "SINGLE", 1, 1, true}, {kNoFunctionId, "SKEW.P", 1, 255, true, "SKEWP"},
    {kNoFunctionId, "SORT", 1, 4, true}, {kNoFunctionId, "SORTBY", 2, 255, true},
    {kNoFunctionId, "STDEV.P", 1, 255, true}, {kNoFunctionId, "STDEV.S", 1, 255, true},
    {kNoFunctionId, "STOCKHISTORY", 2, 11, true}, {kNoFunctionId, "SWITCH", 3, 254, true},
    {kNoFunctionId, "T.DIST", 3, 3, true}, {kNoFunctionId, "T.DIST.2T", 2, 2, true},
    {kNoFunctionId, "T.DIST.RT", 2, 2, true}, {kNoFunctionId, "T.INV", 2, 2, true},
    {kNoFunctionId, "T.INV.2T", 2, 2, true}, {kNoFunctionId, "T.TEST", 4, 4, true},
    {kNoFunctionId, "TAKE", 2, 3, true}, {kNoFunctionId, "TEXTAFTER", 2, 6, true},
    {kNoFunctionId, "TEXTBEFORE", 2, 6, true}, {kNoFunctionId, "TEXTJOIN", 3, 255, true},
    {kNoFunctionId, "TEXTSPLIT", 2, 6, true}, {kNoFunctionId, "TOCOL", 1, 3, true},
    {kNoFunctionId, "TOROW", 1, 3, true}, {kNoFunctionId, "TRIMRANGE", 1, 3, true},
    {kNoFunctionId, "UNICHAR", 1, 1, true}, {kNoFunctionId, "UNICODE", 1, 1, true},
    {kNoFunctionId, "UNIQUE", 1, 3, true}, {kNoFunctionId, "VALUETOTEXT", 1, 2, true},
    {kNoFunctionId, "VAR.P", 1, 255, true}, {kNoFunctionId, "VAR.S", 1, 255, true},
    {kNoFunctionId, "VSTACK", 1, 255, true}, {kNoFunctionId, "WEBSERVICE", 1, 1, true},
    {kNoFunctionId, "WEIBULL.DIST", 4, 4, true}, {kNoFunctionId, "WRAPCOLS", 2, 3, true},
    {kNoFunctionId, "WRAPROWS", 2, 3, true}, {kNoFunctionId, "XLOOKUP", 3, 6, true},
    {kNoFunctionId, "XMATCH", 2, 4, true}, {kNoFunctionId, "XOR", 1, 255, true},
    {kNoFunctionId, "Z.TEST", 2, 3, true},
};

// Functions of Excel 2007's own list that binary files call by name but .xlsx formulas
// write bare.
constexpr FunctionSpec kBareByName[] = {
    {kNoFunctionId, "ECMA.CEILING", 2, 2}, {kNoFunctionId, "ISO.CEILING", 1, 2}, {kNoFunctionId, "JIS", 1, 1},
    {kNoFunctionId, "NETWORKDAYS.INTL", 2, 4}, {kNoFunctionId, "WORKDAY.INTL", 2, 4},
};

constexpr size_t kBuiltinIds = 485;

// Every function by its bare, upper-case name.
const std::unordered_map<std::string_view, const FunctionSpec*>& ByName() {
  static const auto* map = [] {
    auto* m = new std::unordered_map<std::string_view, const FunctionSpec*>;
    for (const FunctionSpec& f : kBuiltins)
      if (f.inCells) m->emplace(f.name, &f);
    for (const FunctionSpec& f : kPrefixed) m->emplace(f.name, &f);
    for (const FunctionSpec& f : kBareByName) m->emplace(f.name, &f);
    return m;
  }();
  return *map;
}

const FunctionSpec* Lookup(std::string_view name) {
  char up[48];
  if (name.size() > sizeof up) return nullptr;  // longer than any function's name
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    up[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  auto it = ByName().find(std::string_view(up, name.size()));
  return it == ByName().end() ? nullptr : it->second;
}

}  // namespace

const FunctionSpec* BuiltinFunction(uint16_t id) {
  static const std::array<const FunctionSpec*, kBuiltinIds> byId = [] {
    std::array<const FunctionSpec*, kBuiltinIds> t{};
    for (const FunctionSpec& f : kBuiltins) t[f.id] = &f;
    return t;
  }();
  return id < byId.size() ? byId[id] : nullptr;
}

const FunctionSpec* FunctionByFormulaName(std::string_view name) {
  constexpr std::string_view kFuture = "_xlfn.", kWorksheet = "_xlws.";
  bool prefixed = name.size() > kFuture.size() && EqualsNoCase(name.substr(0, kFuture.size()), kFuture);
  if (prefixed) {
    name.remove_prefix(kFuture.size());
    // FILTER and SORT carry a second prefix.
    if (name.size() > kWorksheet.size() && EqualsNoCase(name.substr(0, kWorksheet.size()), kWorksheet))
      name.remove_prefix(kWorksheet.size());
  }
  const FunctionSpec* f = Lookup(name);
  return f && f->prefixed == prefixed ? f : nullptr;
}

const FunctionSpec* FunctionByOdsName(std::string_view name) {
  for (const FunctionSpec& f : kPrefixed)
    if (f.odsName && name == f.odsName) return &f;
  return nullptr;
}

bool IsPrefixedFunction(std::string_view name) {
  const FunctionSpec* f = Lookup(name);
  return f && f->prefixed;
}

}  // namespace corvane
