#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class GroupPropertiesDialog;
}
struct GroupEntry;

// "News Group Properties", captioned with the group's name: cull size, next article and the Skip flag.
class GroupPropertiesDialog : public QDialog {
    Q_OBJECT

  public:
    GroupPropertiesDialog(QWidget* parent, const GroupEntry& group);
    ~GroupPropertiesDialog() override;

    // Stores the three values in `group`.
    void Apply(GroupEntry& group) const;

  private:
    std::unique_ptr<Ui::GroupPropertiesDialog> ui_;
};
