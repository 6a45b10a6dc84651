#include "station_record.h"

#include "printable.h"
#include "record.h"

namespace pxr7 {

StationRecord stationRecordFor(const std::string& given) {
    StationRecord record;
    record.path = resolveStatePath(given, kRecordFileName);
    if (record.path.empty()) {
        record.refusal = failure(Outcome::Usage, "pxr7: the environment names no home for the "
                                                 "record: give one with --record FILE.");
        return record;
    }
    // Found out now, not after the first meter has been upgraded with nothing to show for it.
    std::string problem;
    if (!checkNumberedRecordWritable(record.path, seqCounterPath(record.path), problem)) {
        record.refusal = failure(Outcome::RecordFailed,
                                 "pxr7: cannot write the record " + printable(record.path) + ": " +
                                     problem + ". The station does not start.");
    }
    return record;
}

} // namespace pxr7
