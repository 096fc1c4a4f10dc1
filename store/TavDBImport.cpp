// The import of an opened, upgraded learning unit into the current user's personal library:
// the entry, the folder tree, the literature of each folder with attachment and reading state,
// the web pages folder, then the notes (TavDBImportNotes.cpp).
#include "store/TavDB.h"

#include "library/OvDataMiddle.h"
#include "support/DateText.h"
#include "support/FilePathParts.h"
#include "support/TextConvert.h"

namespace {

// Longer folder names are replaced by "重命名：" and their first 55 characters.
constexpr size_t kMaxFolderNameLength = 60;
constexpr size_t kRenamedPrefixLength = 55;

// Lets the library group its commits for the length of an import; ends the batch on every way out.
class CLibraryBatch {
public:
    CLibraryBatch(IOvDataMiddle& library, const std::u16string& user)
        : m_library(library)
    {
        m_library.BeginBatch(user);
    }
    ~CLibraryBatch()
    {
        if (m_open)
            m_library.EndBatch();
    }
    CLibraryBatch(const CLibraryBatch&) = delete;
    CLibraryBatch& operator=(const CLibraryBatch&) = delete;

    // Nonzero when a grouped commit failed: operations that had succeeded may be lost.
    int32_t End()
    {
        m_open = false;
        return m_library.EndBatch();
    }

private:
    IOvDataMiddle& m_library;
    bool m_open = true;
};

} // namespace

IOvDataMiddle& CTavDB::Library()
{
    return IOvDataMiddle::Instance();
}

bool CTavDB::ImportCancelCheckpoint()
{
    if (!IsCancelRequested())
        return false;
    m_importCancelled = true;
    Report(m_currentStep, m_totalSteps, u"导入学习单元取消");
    return true;
}

bool CTavDB::RollbackCheckpoint(const std::u16string& tavGuid)
{
    if (!IsCancelRequested())
        return false;
    m_importCancelled = true;
    Library().DeleteLearningUnit(tavGuid, ImportUser());
    Report(m_currentStep, m_totalSteps, u"导入学习单元取消");
    return true;
}

std::u16string CTavDB::CompanionFolder(const std::u16string& unitPath)
{
    const FilePathParts parts(unitPath);
    return parts.FolderPath() + parts.BaseName() + u"_contents";
}

std::u16string CTavDB::CompanionSubfolder(const std::u16string& name) const
{
    return CompanionFolder(m_path) + u"/" + name;
}

const std::u16string& CTavDB::ImportUser()
{
    // Read once per run: without an account given, asking for the user reads the settings file.
    if (m_importUser.empty())
        m_importUser = OvSysUser::Instance().GetUser();
    return m_importUser;
}

int CTavDB::ImportToPersonalLibrary(const std::u16string& path)
{
    m_newLiterGuids.clear();
    m_importedPkidsWithoutGuid.clear();
    m_walkedFolderIds.clear();
    m_noteSetItems.clear();
    m_importCancelled = false;
    m_importUser.clear(); // read again for this run
    m_literatureReads.reset();
    m_unwrittenFiles = 0;
    auto unit = std::make_shared<STavInfo>();
    unit->Name = FilePathParts(path).BaseName();
    DescribeSource(*unit, path);
    Report(m_currentStep, m_totalSteps, u"导入学习单元《" + unit->Name + u"》");
    if (ImportCancelCheckpoint())
        return 0;

    const int32_t created = Library().CreateLearningUnit(unit, ImportUser(), 0, 0);
    if (created != 0) {
        Report(m_totalSteps, m_totalSteps, u"导入学习单元失败，学习单元创建失败：" + Library().GetErrorText(created));
        return created;
    }
    const std::u16string tavGuid = unit->TavGuid;
    CLibraryBatch batch(Library(), ImportUser());
    m_currentStep += 1;
    if (RollbackCheckpoint(tavGuid))
        return 0;

    if (FillLiteratureFolder() == 0) {
        // A cancel seen while reading the folders is a cancel like any other, not a failure.
        if (RollbackCheckpoint(tavGuid))
            return 0;
        return -1;
    }
    m_folderCount = static_cast<int32_t>(m_folders.size());
    m_currentStep += 1;

    CopyCompanionSubfolder(u"webpage");
    Report(m_currentStep, m_totalSteps, u"拷贝网页资料附件");
    if (RollbackCheckpoint(tavGuid))
        return 0;

    int32_t counter = 0;
    ImportFolderTree(counter, 0, tavGuid, tavGuid);
    m_literatureReads.reset();
    UseImportPageCache();
    m_currentStep += 1;
    Report(m_currentStep, m_totalSteps, u"导入笔记和标注");
    if (RollbackCheckpoint(tavGuid))
        return 0;

    ImportNotesAndLabels(tavGuid);
    if (RollbackCheckpoint(tavGuid))
        return 0;
    // The entry is marked complete only once everything it holds is committed.
    if (const int32_t ended = batch.End(); ended != 0)
        return ended;
    // An entry that lacks files is no finished import: it stays incomplete, and a rerun with
    // room makes a whole one.
    if (m_unwrittenFiles != 0) {
        m_report.cause = EUnitProblem::FilesNotCopied;
        m_report.detail = ToWide(std::to_string(m_unwrittenFiles)) + u" file(s)";
        return kTavImportFailed;
    }
    Library().CompleteLearningUnit(tavGuid, ImportUser());
    SettleEarlierEntries(tavGuid);
    Report(m_totalSteps, m_totalSteps, u"更新学习单元完成");
    return 0;
}

int CTavDB::ImportFolderTree(int32_t& counter, int32_t parentId, const std::u16string& parentGuid,
                             const std::u16string& tavGuid)
{
    // One entry per open level of the walk, kept here rather than on the call stack: a chain of
    // folders as deep as a unit holds cannot overflow it. The order is that of a recursive walk
    // (a folder, its literature, then its subfolders), and a cancel closes one level at a time.
    struct Level {
        std::shared_ptr<IdSet> children;
        IdSet::const_iterator next;
        std::u16string guid;
        int result = 0; // of the last AddFolder of this level
    };
    std::vector<Level> levels;
    const auto enter = [&](int32_t id, const std::u16string& guid) {
        m_walkedFolderIds.insert(id);
        std::shared_ptr<IdSet> children;
        if (id == -1) {
            if (GetIdList(children, id, m_folderChildIds, u"Select distinct(categoryId) From Category where Recycled=0") == 0)
                return false;
        } else {
            // FillLiteratureFolder reads the subfolders of every folder at once.
            if (FillLiteratureFolder() == 0)
                return false;
            const auto found = m_folderChildIds.find(id);
            children = found == m_folderChildIds.end() ? std::make_shared<IdSet>() : found->second;
        }
        levels.push_back({children, children->begin(), guid, 0});
        return true;
    };
    if (!enter(parentId, parentGuid))
        return -1;
    int result = 0;
    const auto leave = [&] {
        if (levels.size() == 1)
            result = levels.back().result;
        levels.pop_back();
    };
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.children->end()) {
            leave();
            continue;
        }
        const int32_t id = *level.next++;
        // A link back to a folder of this walk (itself, an ancestor, the root) is not followed.
        if (m_walkedFolderIds.count(id) != 0)
            continue;
        std::shared_ptr<SPersonalLiteratureFolder> folder;
        if (GetLiteratureFolder(folder, id) == 0)
            continue;
        m_walkedFolderIds.insert(id);

        counter += 1;
        if (m_folderCount > 0 && counter * 10 / m_folderCount == 1) {
            counter = 0;
            m_currentStep += 1;
        }

        auto record = std::make_shared<SLiteratureFolder>();
        record->Name = folder->Name.size() > kMaxFolderNameLength
                           ? u"重命名：" + folder->Name.substr(0, kRenamedPrefixLength)
                           : folder->Name;
        record->ParentGuid = level.guid;
        record->TavGuid = tavGuid;
        Report(m_currentStep, m_totalSteps, u"导入文献夹《" + folder->Name + u"》");
        if (ImportCancelCheckpoint()) {
            leave();
            continue;
        }
        level.result = Library().AddFolder(record, tavGuid, ImportUser(), 0);
        if (level.result != 0)
            Report(m_currentStep, m_totalSteps, u"更新文献夹《" + folder->Name + u"》失败");
        if (ImportCancelCheckpoint() || !ImportFolderLiterature(id, record->FolderGuid, tavGuid)) {
            leave();
            continue;
        }
        Pause();
        if (ImportCancelCheckpoint()) { // at the pause, so a cancel never waits for the subfolders
            leave();
            continue;
        }
        enter(id, record->FolderGuid);
    }
    return result;
}

bool CTavDB::ImportFolderLiterature(int32_t categoryId, const std::u16string& folderGuid, const std::u16string& tavGuid)
{
    std::shared_ptr<IdSet> pkids;
    GetLiteratureInfoIdList(pkids, categoryId);
    if (!pkids)
        return true;
    for (const int32_t pkid : *pkids) {
        if (!ImportLiterature(pkid, folderGuid, tavGuid))
            return false;
    }
    return true;
}

bool CTavDB::ImportLiterature(int32_t pkid, const std::u16string& folderGuid, const std::u16string& tavGuid)
{
    std::shared_ptr<SPersonalLiteratureInfo> source;
    if (GetLiteratureInfo(source, pkid) == 0)
        return true;
    // The walk reads a reading state from the unit for each literature: inside one read
    // transaction SQLite locks the file and looks for a hot journal once, not once per row. It
    // begins once the literature cache is filled, whose reading-state rows commit on their own.
    if (!m_literatureReads)
        m_literatureReads.emplace(m_db, CSqliteTransaction::EKind::Deferred);
    Report(m_currentStep, m_totalSteps, u"导入文献《" + source->Title + u"》");
    if (ImportCancelCheckpoint())
        return false;

    auto record = std::make_shared<SLiteratureInfo>();
    record->OwnerName = ImportUser();
    record->TavGuid = tavGuid;
    CopyLiteratureInfo(record, source);
    ImportAttachmentFile(record->FilePath, m_path, source->FilePath, ImportUser(), tavGuid);
    if (ImportCancelCheckpoint())
        return false;

    const int32_t added = Library().AddLiterature(record, tavGuid, ImportUser(), folderGuid, 0, 0);
    // The reading state goes with the first folder the literature is filed in. A literature
    // without a LiterGuid is told apart by its pkid, and no note is pointed at it by that
    // empty GUID (it would otherwise stand for every such literature at once).
    const bool withoutGuid = source->LiterGuid.empty();
    const bool first = withoutGuid ? m_importedPkidsWithoutGuid.count(pkid) == 0
                                   : m_newLiterGuids.count(source->LiterGuid) == 0;
    if (added == 0 && first) {
        if (withoutGuid)
            m_importedPkidsWithoutGuid.insert(pkid);
        else
            m_newLiterGuids[source->LiterGuid] = record->LiterGuid;
        if (ImportCancelCheckpoint())
            return false;
        std::shared_ptr<SPersonalLiteratureLiteraRelate> state;
        if (GetLiteratureRelate(state, pkid) != 0) {
            if (!state->MarkPos.empty())
                m_markPosByLiterGuid[state->LiterGuid] = state->MarkPos;
            std::shared_ptr<SLiteratureRelate> relate;
            CopyLiteratureRelate(relate, state);
            relate->LiterGuid = record->LiterGuid;
            relate->OwnerName = ImportUser();
            relate->RowId = -1;
            if (ImportCancelCheckpoint())
                return false;
            Library().AddLiteratureRelate(relate, tavGuid, ImportUser(), folderGuid, 0);
        }
    }
    Pause();
    return !ImportCancelCheckpoint();
}

int CTavDB::CopyLiteratureInfo(std::shared_ptr<SLiteratureInfo>& target, const std::shared_ptr<SPersonalLiteratureInfo>& source)
{
    if (!source)
        return 0;
    if (!target)
        target = std::make_shared<SLiteratureInfo>();
    SLiteratureInfo& t = *target;
    const SPersonalLiteratureInfo& s = *source;
    t.DOI = s.DOI;
    t.Title = s.Title;
    t.Author = s.Author;
    t.Source = s.Source;
    t.DataType = s.DataType;
    t.SrcDatabase = s.SrcDatabase;
    t.PubTime = s.PubTime;
    t.Keyword = s.Keyword;
    t.Summary = s.Summary;
    t.FilePath = s.FilePath;
    t.Link = s.Link;
    t.Pub_Year = s.Pub_Year;
    t.Period = s.Period;
    t.PageCount = s.PageCount;
    t.Page = s.Page;
    t.ReferenceNum = s.ReferenceNum;
    t.Roll = s.Roll;
    t.City = s.City;
    t.Organ = s.Organ;
    t.Degree = s.Degree;
    t.Teacher = s.Teacher;
    t.ImportantDegree = s.ImportantDegree;
    t.MediaEn = s.MediaEn;
    t.EPubLocate = s.EPubLocate;
    t.EPublisher = s.EPublisher;
    t.ETitle = s.ETitle;
    t.Media = s.Media;
    t.ISSN = s.ISSN;
    t.Country = s.Country;
    t.Version = s.Version;
    t.Prints = s.Prints;
    t.PubLocate = s.PubLocate;
    t.EAuthor = s.EAuthor;
    t.CountryEn = s.CountryEn;
    t.VersionEn = s.VersionEn;
    t.MediaAddressEn = s.MediaAddressEn;
    t.DegreeType = s.DegreeType;
    t.Department = s.Department;
    t.ApplicationNum = s.ApplicationNum;
    t.PublicationDate = s.PublicationDate;
    t.InternationalClassification = s.InternationalClassification;
    t.DutyPersonEn = s.DutyPersonEn;
    t.ModifiedDate = s.ModifiedDate;
    t.Publisher = s.Publisher;
    t.CopiedText = s.CopiedText;
    t.LCID = s.LCID;
    t.InternationalDOI = s.InternationalDOI;
    t.FileName = s.FileName;
    t.TableName = s.TableName;
    t.KnowledgeID = s.KnowledgeID;
    t.OdataCode = s.OdataCode;
    return 1;
}

int CTavDB::CopyLiteratureRelate(std::shared_ptr<SLiteratureRelate>& target,
                                 const std::shared_ptr<SPersonalLiteratureLiteraRelate>& source)
{
    if (!source)
        return 0;
    if (!target)
        target = std::make_shared<SLiteratureRelate>();
    target->LiterGuid = source->LiterGuid;
    target->LastReadTime = source->LastReadTime;
    target->Adjunct = source->Adjunct;
    target->Remark = source->Remark;
    target->MarkPos = source->MarkPos;
    target->Locked = source->Locked;
    target->LastReadPos = source->LastReadPos;
    target->ReadingProgress = source->ReadingProgress;
    target->FileType = source->FileType;
    double date = 0;
    if (!source->CreateTime.empty() && ParseDateText(source->CreateTime, date))
        target->CreateTime = source->CreateTime;
    return 1;
}
