#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>

#include "parts/PartsBrowser.h"

namespace Ui {
class PartsBrowserDialog;
}
class Dialogs;
class QTreeWidgetItem;

// "Browse Collected Parts": the parts index as a tree of binaries and their parts, the details of the
// selection, and the deletions. Every reading and deleting holds the parts lock, so a running download and
// the browser never see each other's half-written index. The tree is read again every five seconds while
// the dialog is open.
class PartsBrowserDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 5000;

    // `partsDir` is the PartsDir setting; `maxPartAgeDays` dates the expiry.
    PartsBrowserDialog(std::string partsDir, long maxPartAgeDays, Dialogs& dialogs,
                       QWidget* parent = nullptr);
    ~PartsBrowserDialog() override;

    void done(int result) override;

  public slots:
    // Reads the index into the tree again, keeping the selection and the open binaries.
    void onRefresh();
    void onSelectionChanged();
    void onDelete();
    void onDeleteAll();

  private:
    // A node's place in the listing: the binary, and the part (null on a binary node).
    struct Selection {
        const CollectedBinary* binary = nullptr;
        const CollectedPart* part = nullptr;
    };
    Selection SelectionOf(const QTreeWidgetItem* item) const;
    void ShowDetails(const Selection& selection);

    std::unique_ptr<Ui::PartsBrowserDialog> ui_;
    std::string partsDir_;
    long maxPartAgeDays_;
    Dialogs& dialogs_;
    PartsListing listing_;
    QTimer* refresh_;
};
