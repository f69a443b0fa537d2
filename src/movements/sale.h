// The sale at the counter: one line per copy scanned, a running total, and
// the registration that writes each line as one copy sold.
//
// A line holds what the stock record said when the cover was scanned: the
// magazine name (marked " GIAC<0" when the stored stock was zero or less, so
// the operator sees he is selling a copy the archive does not have), the cover
// price, the purchase price and the issue key.
//
// Registering writes, line by line from the first, a journal record of type
// "S" for one copy (-1) dated by the clock at that moment, and lowers the
// issue's stock by one, computed from the stock record as it is on disk under
// its lock (another workstation may be selling the same issue). The two
// writes of a line are one unit (see movement_post.h): a line leaves the list
// as soon as both are on disk, and a line whose stock write failed has its
// journal record deleted again, or, when even that failed, remembers it, so
// after a failure the list holds exactly the copies not yet registered and
// registering again counts no copy twice. A line whose issue has no stock
// record any more is left out, written nowhere, and reported when the
// registration completes, with those left out by earlier attempts on the
// same list. The running total is kept apart from the lines: it is what the
// customer owes for everything scanned, and only clear() and a complete
// registration set it back to zero.
#pragma once

#include <QString>
#include <vector>

class TData1;
namespace dbase {
class Cursor;
}

namespace movements {

struct SaleLine {
    QString nome;  // name with marker, at most 30 characters
    double prezzo = 0;
    QString barcode;  // issue key
    double acquisto = 0;
    bool journalStored = false;  // an earlier attempt left its journal record on disk
};

// What a complete registration did: the lines left out (by this attempt and
// by earlier ones that failed) and how many lines were registered.
struct SaleOutcome {
    std::vector<SaleLine> skipped;
    int registered = 0;
};

// The warning that names the lines left out; empty when none was.
QString skippedLinesWarning(const SaleOutcome& outcome);

// The line's name: `name` followed by " GIAC<0" when `stock` is not above
// zero, cut to the 30 characters of the list's name column.
QString saleLineName(const QString& name, double stock);

// The line for the stock record `giacenza` stands on.
SaleLine saleLineFor(const dbase::Cursor& giacenza);

class SaleList {
  public:
    const std::vector<SaleLine>& lines() const { return lines_; }
    double total() const { return total_; }
    bool isEmpty() const { return lines_.empty(); }

    void add(const SaleLine& line);
    void clear();

    // Registers every line (see above); on success the list is empty and the
    // total zero. An engine error stops at the failing line, which stays in
    // the list with those after it, and is passed on.
    SaleOutcome registerAll(TData1& data);

  private:
    std::vector<SaleLine> lines_;
    double total_ = 0;
    SaleOutcome done_;  // of the attempts since the list was last emptied
};

}  // namespace movements
