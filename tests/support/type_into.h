#pragma once
// Typing into a field as a user does.
#include <QLineEdit>
#include <QTest>

namespace orvex_test {

/// Types `text` over a field's content and commits it with Enter.
inline void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace orvex_test
