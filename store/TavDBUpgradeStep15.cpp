// Upgrade step to version 15: the note items ("Item" elements) of each literature item's note
// package move out of LiteraRelate.MarkPos into the notes that refer to them
// (NoteContent.Comments). An Item stays in the package when no note refers to it.
#include "store/TavDB.h"

#include "store/StepTransaction.h"
#include "xml/XmlDoc.h"

#include <map>
#include <set>
#include <vector>

namespace {

// Goes into the element of that name at the current level, when there is one.
void IntoWhenFound(CXmlDoc& doc, const char16_t* name)
{
    if (doc.FindTag(name))
        doc.IntoTag();
}

// Copies every attribute of `from`'s main element onto `to`'s main element.
void CopyAttributes(const CXmlDoc& from, CXmlDoc& to)
{
    std::u16string name;
    std::u16string value;
    for (int index = 0; from.GetAttribByIndex(index, name, value); ++index)
        to.SetAttrib(to.GetMainPos(), name, value, 0);
}

// Indexes on LiterGuid for the length of the step: without them every literature item costs
// full scans of NoteContent and LiteraRelate, which makes the step quadratic in the unit's size.
// They are dropped again before the step's transaction commits, so the layout stays as it was.
class CStepIndexes {
public:
    explicit CStepIndexes(CSqliteDB& db) : m_db(db)
    {
        Run(u"create index if not exists UpgradeNoteLiterGuid on NoteContent(LiterGuid)");
        Run(u"create index if not exists UpgradeRelateLiterGuid on LiteraRelate(LiterGuid)");
    }
    CStepIndexes(const CStepIndexes&) = delete;
    CStepIndexes& operator=(const CStepIndexes&) = delete;
    ~CStepIndexes()
    {
        Run(u"drop index if exists UpgradeNoteLiterGuid");
        Run(u"drop index if exists UpgradeRelateLiterGuid");
    }

private:
    // Only speed depends on these statements: a failure changes nothing else.
    void Run(const char16_t* sql) noexcept
    {
        try {
            m_db.ExecuteStatement(sql);
        } catch (const CSqliteException&) {
        }
    }

    CSqliteDB& m_db;
};

} // namespace

int CTavDB::UpdateVersionTo15()
{
    CStepTransaction transaction(m_db);
    try {
        Report(m_currentStep, m_totalSteps, u"更新笔记信息表字段");
        if (CancelUpgradeStep())
            return 0;
        if (NoteContentAddIsPublicField() == 0 || NoteContentAddIsCompiledField() == 0 || NoteContentAddUnitIdField() == 0)
            return 0;

        // All literature items first: their notes change while the walk goes on.
        std::vector<std::u16string> literGuids;
        {
            CSqliteQuery query = m_db.ExecuteQuery(u"select distinct(LiterGuid) from notecontent");
            for (; !query.IsEof(); query.NextRow())
                literGuids.push_back(query.GetStringValue(0));
        }
        // Made after the walk's order is fixed, so that they cannot change it.
        const CStepIndexes indexes(m_db);
        for (const std::u16string& literGuid : literGuids) {
            if (literGuid.empty())
                continue;
            Report(m_currentStep, m_totalSteps, u"更新文献笔记信息：1");
            if (CancelUpgradeStep())
                return 0;
            if (!MoveNoteItemsOfLiterature(literGuid))
                break;
        }
        WriteVersionNum(15);
        return 1;
    } catch (const CSqliteException&) {
        // The column operations log their own errors.
        return 0;
    }
}

bool CTavDB::MoveNoteItemsOfLiterature(const std::u16string& literGuid)
{
    // The ids of the Items each note refers to, by the note's posid.
    std::map<std::u16string, std::set<std::u16string>> notes;
    {
        CSqliteCachedStatement query = m_db.Prepare(u"select posid, Comments from notecontent where LiterGuid = ?");
        query->BindAll(literGuid);
        while (query->Step()) {
            const std::u16string posId = query->GetText(0);
            CXmlDoc comments;
            if (!comments.SetDoc(query->GetText(1)))
                continue;
            IntoWhenFound(comments, u"Comments");
            IntoWhenFound(comments, u"Note-Package");
            IntoWhenFound(comments, u"NoteItems");
            std::set<std::u16string> ids;
            while (comments.FindTag(u"Comment"))
                ids.insert(comments.GetAttrib(u"id"));
            if (ids.empty())
                ids.insert(posId);
            notes[posId] = std::move(ids);
        }
    }

    // The literature's note package: the skeleton of the new Comments, and its Items by id.
    const std::u16string markPos = m_db.ScalarText(u"select MarkPos from LiteraRelate where LiterGuid = ?", literGuid);
    std::u16string skeletonText;
    std::map<std::u16string, std::u16string> items;
    {
        CXmlDoc package;
        if (package.SetDoc(markPos)) {
            IntoWhenFound(package, u"NoteSet");
            CXmlDoc skeleton;
            skeleton.AddTag(u"Comments");
            for (const char16_t* level : {u"Note-Package", u"NoteItems"}) {
                if (!package.FindTag(level))
                    continue;
                skeleton.IntoTag();
                skeleton.AddTag(level);
                CopyAttributes(package, skeleton);
                package.IntoTag();
            }
            while (package.FindTag(u"Item"))
                items[package.GetAttrib(u"id")] = package.GetSubDoc(package.GetMainPos());
            skeletonText = skeleton.GetDoc();
        }
    }

    // Each note gets the skeleton with copies of the Items it refers to.
    std::set<std::u16string> moved;
    for (const auto& [posId, ids] : notes) {
        CXmlDoc note;
        if (!note.SetDoc(skeletonText))
            continue;
        IntoWhenFound(note, u"Comments");
        IntoWhenFound(note, u"Note-Package");
        IntoWhenFound(note, u"NoteItems");
        for (const std::u16string& id : ids) {
            const auto item = items.find(id);
            if (item == items.end())
                continue;
            note.AddSubDoc(item->second);
            moved.insert(id);
        }
        // Limited to this literature's notes: a posid is only known to be unique within it.
        m_db.Run(u"update notecontent set Comments = ? where posid = ? and LiterGuid = ?", note.GetDoc(), posId, literGuid);
    }

    // The package keeps the Items that no note took.
    CXmlDoc package;
    if (!package.SetDoc(markPos))
        return false;
    IntoWhenFound(package, u"NoteSet");
    IntoWhenFound(package, u"Note-Package");
    IntoWhenFound(package, u"NoteItems");
    while (package.FindTag(u"Item")) {
        if (moved.count(package.GetAttrib(u"id")) != 0)
            package.RemoveTag();
    }
    m_db.Run(u"update LiteraRelate set MarkPos = ? where LiterGuid = ?", package.GetDoc(), literGuid);
    return true;
}
