#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QSvgRenderer;

namespace tavrenhold {

// One of our symbols (Symbols), drawn in `color` and fitted into the item, centred. An unknown
// name draws nothing.
class SymbolImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool valid READ valid NOTIFY nameChanged)

public:
    explicit SymbolImage(QQuickItem *parent = nullptr);
    ~SymbolImage() override;

    [[nodiscard]] QString name() const { return m_name; }
    void setName(const QString &name);
    [[nodiscard]] QColor color() const { return m_color; }
    void setColor(const QColor &color);
    // Whether the name is one of our symbols.
    [[nodiscard]] bool valid() const { return m_renderer != nullptr; }

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void nameChanged();
    void colorChanged();

private:
    QString m_name;
    QColor m_color = Qt::black;
    std::unique_ptr<QSvgRenderer> m_renderer;
};

} // namespace tavrenhold
