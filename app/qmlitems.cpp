#include "qmlitems.h"

#include "debuglog.h"

#include <QMetaObject>

namespace qml {

namespace {

struct ItemInfo {
    const char* name;
    const char* file;
};

const ItemInfo kItems[kItemCount] = {
#define MALVORANT_X(id, file) {#id, file},
    MALVORANT_QML_ITEMS(MALVORANT_X)
#undef MALVORANT_X
};

template <class Tuple>
struct MetaTypesOf;
template <class... A>
struct MetaTypesOf<std::tuple<A...>> {
    static QList<QMetaType> get() { return {QMetaType::fromType<A>()...}; }
};

const std::array<PropInfo, kPropCount>& props()
{
    static const std::array<PropInfo, kPropCount> table = {{
#define MALVORANT_X(id, item, name, type, start, writer) \
    {Item::item, name, QMetaType::fromType<type>(), QVariant(start), writer},
        MALVORANT_QML_PROPERTIES(MALVORANT_X)
#undef MALVORANT_X
    }};
    return table;
}

const std::array<CallInfo, kCallCount>& calls()
{
    static const std::array<CallInfo, kCallCount> table = {{
#define MALVORANT_X(id, item, name, args, params)                                     \
    {Item::item, name, MetaTypesOf<C::id::Args>::get(),                               \
     QByteArray(params).isEmpty() ? QByteArrayList() : QByteArray(params).split(',')},
        MALVORANT_QML_CALLS(MALVORANT_X)
#undef MALVORANT_X
    }};
    return table;
}

QString typeName(QMetaType type)
{
    return QString::fromLatin1(type.isValid() ? type.name() : "<none>");
}

int methodIndex(const QMetaObject* meta, const char* name)
{
    // The last declaration wins, as for QML's own look-up.
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        if (meta->method(i).name() == name)
            return i;
    }
    return -1;
}

} // namespace

const char* itemName(Item item)
{
    return kItems[static_cast<int>(item)].name;
}

const char* itemFile(Item item)
{
    return kItems[static_cast<int>(item)].file;
}

const PropInfo& propInfo(Prop prop)
{
    return props()[static_cast<std::size_t>(prop)];
}

const CallInfo& callInfo(Call call)
{
    return calls()[static_cast<std::size_t>(call)];
}

QList<std::pair<Prop, PropInfo>> propTable()
{
    QList<std::pair<Prop, PropInfo>> out;
    for (int i = 0; i < kPropCount; ++i)
        out.append({static_cast<Prop>(i), props()[static_cast<std::size_t>(i)]});
    return out;
}

QList<std::pair<Call, CallInfo>> callTable()
{
    QList<std::pair<Call, CallInfo>> out;
    for (int i = 0; i < kCallCount; ++i)
        out.append({static_cast<Call>(i), calls()[static_cast<std::size_t>(i)]});
    return out;
}

QStringList contractFaults(Item item, const QObject* object,
                           const QList<std::pair<Prop, PropInfo>>& propList,
                           const QList<std::pair<Call, CallInfo>>& callList)
{
    QStringList faults;
    if (!object) {
        faults << QStringLiteral("%1: not bound").arg(QLatin1String(itemName(item)));
        return faults;
    }
    const QMetaObject* meta = object->metaObject();
    for (const auto& [id, info] : propList) {
        if (info.item != item)
            continue;
        const int index = meta->indexOfProperty(info.name);
        if (index < 0) {
            faults << QStringLiteral("%1.%2: no such property")
                          .arg(QLatin1String(itemName(item)), QLatin1String(info.name));
            continue;
        }
        const QMetaProperty property = meta->property(index);
        if (property.metaType() != info.type) {
            faults << QStringLiteral("%1.%2: type %3, expected %4")
                          .arg(QLatin1String(itemName(item)), QLatin1String(info.name),
                               typeName(property.metaType()), typeName(info.type));
        }
        if (info.writer == Bridge && !property.isWritable()) {
            faults << QStringLiteral("%1.%2: not writable")
                          .arg(QLatin1String(itemName(item)), QLatin1String(info.name));
        }
    }
    for (const auto& [id, info] : callList) {
        if (info.item != item)
            continue;
        const int index = methodIndex(meta, info.name);
        if (index < 0) {
            faults << QStringLiteral("%1.%2(): no such signal or function")
                          .arg(QLatin1String(itemName(item)), QLatin1String(info.name));
            continue;
        }
        const QMetaMethod method = meta->method(index);
        QList<QMetaType> types;
        for (int p = 0; p < method.parameterCount(); ++p)
            types << method.parameterMetaType(p);
        if (types != info.types || method.parameterNames() != info.params) {
            QStringList want, have;
            for (int p = 0; p < info.types.size(); ++p)
                want << typeName(info.types[p]) + QLatin1Char(' ')
                            + QString::fromLatin1(info.params.value(p));
            for (int p = 0; p < types.size(); ++p)
                have << typeName(types[p]) + QLatin1Char(' ')
                            + QString::fromLatin1(method.parameterNames().value(p));
            faults << QStringLiteral("%1.%2(%3), expected (%4)")
                          .arg(QLatin1String(itemName(item)), QLatin1String(info.name),
                               have.join(QLatin1String(", ")), want.join(QLatin1String(", ")));
        }
    }
    return faults;
}

} // namespace qml

QmlItems::QmlItems() = default;

void QmlItems::bind(qml::Item item, QObject* object)
{
    const int slot = static_cast<int>(item);
    m_objects[static_cast<std::size_t>(slot)] = object;
    const QMetaObject* meta = object ? object->metaObject() : nullptr;

    for (int i = 0; i < qml::kPropCount; ++i) {
        const qml::PropInfo& info = qml::propInfo(static_cast<qml::Prop>(i));
        if (info.item != item)
            continue;
        QMetaProperty& handle = m_props[static_cast<std::size_t>(i)];
        handle = QMetaProperty();
        if (!meta)
            continue;
        const int index = meta->indexOfProperty(info.name);
        if (index < 0 || meta->property(index).metaType() != info.type) {
            debugLogError(std::string("QmlItems: ") + qml::itemName(item) + " lacks property "
                          + info.name + " of its declared type");
            continue;
        }
        handle = meta->property(index);
    }

    for (int i = 0; i < qml::kCallCount; ++i) {
        const qml::CallInfo& info = qml::callInfo(static_cast<qml::Call>(i));
        if (info.item != item)
            continue;
        QMetaMethod& handle = m_calls[static_cast<std::size_t>(i)];
        handle = QMetaMethod();
        if (!meta)
            continue;
        const int index = qml::methodIndex(meta, info.name);
        bool matches = index >= 0 && meta->method(index).parameterCount() == info.types.size();
        for (int p = 0; matches && p < info.types.size(); ++p)
            matches = meta->method(index).parameterMetaType(p) == info.types[p];
        if (!matches) {
            debugLogError(std::string("QmlItems: ") + qml::itemName(item) + " lacks signal "
                          + info.name + " with its declared arguments");
            continue;
        }
        handle = meta->method(index);
    }
}

void QmlItems::setBuiltOnDemand(qml::Item item, std::function<void()> build)
{
    m_builders[static_cast<std::size_t>(item)] = std::move(build);
}

bool QmlItems::ensureBound(qml::Item item)
{
    if (isBound(item))
        return true;
    const std::function<void()>& build = m_builders[static_cast<std::size_t>(item)];
    if (build)
        build();
    return isBound(item);
}

QObject* QmlItems::object(qml::Item item) const
{
    return m_objects[static_cast<std::size_t>(item)].data();
}

QVariant QmlItems::read(qml::Prop prop) const
{
    const qml::PropInfo& info = qml::propInfo(prop);
    QObject* target = object(info.item);
    const QMetaProperty& handle = m_props[static_cast<std::size_t>(prop)];
    if (!target || !handle.isValid())
        return {};
    return handle.read(target);
}

void QmlItems::write(qml::Prop prop, const QVariant& value)
{
    const qml::PropInfo& info = qml::propInfo(prop);
    if (!ensureBound(info.item))
        return;
    QObject* target = object(info.item);
    const QMetaProperty& handle = m_props[static_cast<std::size_t>(prop)];
    if (!handle.isValid())
        return;
    handle.write(target, value);
}

void QmlItems::invokeArgs(qml::Call call, std::initializer_list<QGenericArgument> args)
{
    const qml::CallInfo& info = qml::callInfo(call);
    if (!ensureBound(info.item))
        return;
    QObject* target = object(info.item);
    const QMetaMethod& handle = m_calls[static_cast<std::size_t>(call)];
    if (!handle.isValid())
        return;
    QGenericArgument a[10];
    int n = 0;
    for (const QGenericArgument& arg : args) {
        if (n < 10)
            a[n++] = arg;
    }
    handle.invoke(target, Qt::DirectConnection, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                  a[8], a[9]);
}
