#pragma once

#include <array>
#include <memory>
#include <utility>

#include "ui/ConfigPage.h"

namespace Ui {
class PartsPage;
}
class Dialogs;
class QRadioButton;
struct Settings;

// "Parts": where parts are collected, how long they are kept, the part-count limit, the switch, what
// happens when their disk fills, and the way into the browser of collected parts.
class PartsPage : public ConfigPage {
    Q_OBJECT

  public:
    PartsPage(Settings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~PartsPage() override;

    bool Validate() override;
    bool Store() override;

  public slots:
    void onBrowsePartsDir();
    void onBrowseParts();

  private:
    std::unique_ptr<Ui::PartsPage> ui_;
    Settings& settings_;
    Dialogs& dialogs_;
    // The radio buttons of MultipartFullStop with the value each sets.
    std::array<std::pair<QRadioButton*, int>, 3> fullStop_;
};
