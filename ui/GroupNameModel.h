#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The group names of one list of the selection dialog, for a list view: filled in batches, with rows taken
// out range by range, either in the order they came or kept sorted (letter case aside).
class GroupNameModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum class Order { AsAdded, Sorted };

    GroupNameModel(Order order, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Only names can be highlighted: the note shown for an empty list ("(No Group List Downloaded)") holds
    // blanks, which no group name has.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends the names, or merges them into their sorted places.
    void Add(const QStringList& names);
    // Takes out the given rows (existing ones, in any order) and returns their names, top row first; a note
    // stays where it is.
    QStringList Take(QList<int> rows);
    void Clear();
    // Whether a sorted list holds the name.
    bool Contains(const QString& name) const;
    const QStringList& Names() const { return names_; }

  private:
    static bool IsName(const QString& text) { return !text.contains(' '); }

    Order order_;
    QStringList names_;
};
