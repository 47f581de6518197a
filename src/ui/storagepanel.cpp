#include "ui/storagepanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/item.h"

namespace t32::ui {

TStoragePanel::TStoragePanel(TFrame1& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setObjectName("StoragePanel");
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  tabs_ = new QTabWidget(this);
  for (const char* t : {"ТС", "ТУ", "ТИ", "ТИИ", "ТР", "МТС"}) {
    auto* page = new QWidget(tabs_);
    tabs_->addTab(page, t);
  }
  lay->addWidget(tabs_);
}

void TStoragePanel::SyncWithCurrentItem(TItem* item) {
  current_ = item;
  if (item && item->signalKind >= 1 && item->signalKind <= 6) tabs_->setCurrentIndex(item->signalKind - 1);
  RefreshButtons();
}

void TStoragePanel::RefreshButtons() {}

}  // namespace t32::ui
