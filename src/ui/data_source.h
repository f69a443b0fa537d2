// A data source: the link between one dataset and the controls that show it.
//
// It never starts an edit by itself: typing into a bound control changes
// nothing until the program has put the dataset into edit or insert state.
// Whoever moves the dataset or changes its state tells the source
// (notifyRecordChanged()), and every bound control shows the current record
// again; before a record is saved the program calls updateRecord(), and every
// bound control hands its text over to the record. Hand-overs are direct
// calls, not signals, so that a text the field refuses raises its error in
// the handler that asked for it.
#pragma once

#include <QObject>
#include <vector>

namespace dbase {
class Cursor;
}

namespace ui {

// A control that shows one field of the source's current record.
class BoundControl {
  public:
    virtual ~BoundControl() = default;
    // Shows the field of the current record (the record being edited, when
    // there is one) and takes typing only while the dataset is editing.
    virtual void showField() = 0;
    // Hands the control's text over to the field; only while editing.
    virtual void storeField() = 0;
};

class DataSource : public QObject {
    Q_OBJECT
  public:
    explicit DataSource(dbase::Cursor& dataset, QObject* parent = nullptr);

    dbase::Cursor& dataset() const { return dataset_; }
    // The dataset holds a pending record (edit or insert state).
    bool editing() const;

    void attach(BoundControl* control);
    void detach(BoundControl* control);

    // Call after moving the dataset, changing its state or its data.
    void notifyRecordChanged();
    // Every bound control hands its text over, in the order they were
    // attached; the first one that cannot raises its error.
    void updateRecord();

  signals:
    void recordChanged();

  private:
    dbase::Cursor& dataset_;
    std::vector<BoundControl*> controls_;
};

}  // namespace ui
