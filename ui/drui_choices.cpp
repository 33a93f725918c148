// The choices the first two pages offer: the category boxes with their "Recover All" box, and
// the partition to scan.
#include <QCheckBox>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/app_styles.h"
#include "ui/drui.h"

void DRUI::SetMainButtonEnabled(QPushButton* pButton, bool bEnabled) {
    pButton->setEnabled(bEnabled);
    pButton->setStyleSheet(bEnabled ? MAIN_BUTTON_STYLE : GREY_BUTTON_STYLE);
}

void DRUI::CheckBoxStatChange(int /*nStat*/) {
    const int nTicked = static_cast<int>(m_pPhotoCheckBox->isChecked()) + static_cast<int>(m_pMusicCheckBox->isChecked()) +
                        static_cast<int>(m_pVideoCheckBox->isChecked());
    m_bPartialCheck = false;
    if (nTicked == 3) {
        m_pAllCheckBox->setCheckState(Qt::Checked);
    } else if (nTicked == 0) {
        m_pAllCheckBox->setCheckState(Qt::Unchecked);
    } else {
        m_bPartialCheck = true;
        m_pAllCheckBox->setCheckState(Qt::PartiallyChecked);
    }
}

void DRUI::CheckBoxAllStatChange(int /*nStat*/) {
    // The box's state now, not the one the signal carried: the rules below change it re-entrantly.
    switch (m_pAllCheckBox->checkState()) {
        case Qt::Unchecked:
            SetMainButtonEnabled(m_pStartBtn, false);
            m_pPhotoCheckBox->setChecked(false);
            m_pMusicCheckBox->setChecked(false);
            m_pVideoCheckBox->setChecked(false);
            break;
        case Qt::Checked:
            SetMainButtonEnabled(m_pStartBtn, true);
            m_pPhotoCheckBox->setChecked(true);
            m_pMusicCheckBox->setChecked(true);
            m_pVideoCheckBox->setChecked(true);
            break;
        case Qt::PartiallyChecked:
            // Mixed boxes put it there; otherwise the user clicked it into the middle state,
            // which means "all".
            if (m_bPartialCheck)
                SetMainButtonEnabled(m_pStartBtn, true);
            else
                m_pAllCheckBox->setCheckState(Qt::Checked);
            break;
    }
}

void DRUI::diskItemClick(QTreeWidgetItem* item, int /*column*/) {
    if (item == nullptr) return;
    // Partitions carry an area; disks do not.
    SetMainButtonEnabled(m_pScanBtn, item->childCount() == 0);
}

void DRUI::diskItemDoubleClick(QTreeWidgetItem* /*item*/, int /*column*/) {
    btnSlotScan();
}

void DRUI::btnSlotScan() {
    m_scanItem = PartitionOfRow(m_pDiskTree->currentItem());
    emit ScanRequested(m_scanItem);
}
