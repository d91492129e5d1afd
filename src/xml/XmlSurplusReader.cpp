#include "xml/XmlSurplusReader.h"

namespace orvex {

int TxmSurplusReader::ReadChar(char& ch) {
    if (!FSurplus.empty()) {
        ch = FSurplus.front();
        FSurplus.erase(0, 1);
        return 1;
    }
    return FStream->Read(&ch, 1) == 1 ? 1 : 0;
}

bool TxmSurplusReader::ReadCharSkipBlanks(char& ch) {
    for (;;) {
        if (ReadChar(ch) == 0)
            return false;
        if (ch != '\t' && ch != '\n' && ch != '\r' && ch != ' ')
            return true;
    }
}

} // namespace orvex
