#include <QTest>

class Placeholder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nothingYet() { QSKIP("not written yet"); }
};

QTEST_MAIN(Placeholder)
#include "tst_handoff.moc"
