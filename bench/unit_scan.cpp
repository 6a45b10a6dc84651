#include "unit_scan.h"

#include <cstring>

namespace pxr7 {

ScanLine readScanLine(const std::string& line) {
    const std::size_t first = line.find_first_not_of(' ');
    const std::string text = first == std::string::npos ? "" : line.substr(first);
    ScanLine scan;
    scan.text = line;
    if (text.rfind(kLaneScanPrefix, 0) == 0) {
        scan.kind = ScanKind::Lane;
        scan.text = text.substr(std::strlen(kLaneScanPrefix));
    } else if (text.rfind(kOperatorScanPrefix, 0) == 0) {
        scan.kind = ScanKind::Operator;
        scan.text = text.substr(std::strlen(kOperatorScanPrefix));
    }
    return scan;
}

UnitIdNews takeScanLine(UnitIds& ids, OperatorName* who, const std::string& line,
                        UnitIds::Clock::time_point now) {
    const ScanLine scan = readScanLine(line);
    if (scan.kind == ScanKind::Lane) {
        return ids.scanLane(scan.text, now);
    }
    if (scan.kind == ScanKind::UnitId || who == nullptr) {
        return ids.offer(line, now);
    }
    UnitIdNews news = ids.lapse(now);
    const std::string name = withoutBlanks(scan.text);
    news.refusal = checkUnitIdText(name);
    if (news.refusal != UnitIdRefusal::None) {
        news.refusedText = kOperatorScanPrefix + name;
        return news;
    }
    who->set(name);
    news.newOperator = name;
    return news;
}

} // namespace pxr7
