#include "host/ui/can_settings.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalBlocker>

#include "host/setup/setup.h"

namespace axis {
namespace {
// The bit rates of the CANopen bit timing table (CiA 301), in bit/s.
constexpr int kBitRates[] = {10000, 20000, 50000, 125000, 250000, 500000, 800000, 1000000};

QString BitRateText(int rate) {
    return rate >= 1000000 ? QStringLiteral("%1 Mbit/s").arg(rate / 1000000)
                           : QStringLiteral("%1 kbit/s").arg(rate / 1000);
}
}  // namespace

CanSettings::CanSettings(CMC_Setup* setup, QComboBox* list, QAbstractButton* canopen_settings)
    : setup_(setup), list_(list) {
    {
        const QSignalBlocker block(list_);
        list_->clear();
        for (int rate : kBitRates) list_->addItem(BitRateText(rate), rate);
    }
    QObject::connect(list_, &QComboBox::activated, list_, [this](int index) {
        setup_->SetOption(kCanBaudRateSetting, std::to_string(list_->itemData(index).toInt()));
    });
    if (canopen_settings) {
        canopen_settings->setEnabled(false);
        canopen_settings->setToolTip(
            QObject::tr("This host has no CANopen settings editor."));
    }
    Redraw();
}

void CanSettings::Redraw() {
    const std::string text = setup_->GetOptionNoError(kCanBaudRateSetting);
    const QSignalBlocker block(list_);
    list_->setCurrentIndex(text.empty() ? -1 : list_->findData(std::atoi(text.c_str())));
}

}  // namespace axis
