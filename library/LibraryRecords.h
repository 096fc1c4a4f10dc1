#pragma once
// Records that the personal library service receives. Plain structures, held by shared
// handles; GUID fields marked "filled by the service" are set when the service stores them.
#include <cstdint>
#include <string>
#include <vector>

// The learning unit as an entry of the personal library.
struct STavInfo {
    int32_t RecordState = 1;
    int32_t Reserved1 = 0, Reserved2 = 0, Reserved3 = 0, Reserved4 = 0, Reserved5 = 0;
    int32_t Reserved6 = 1;
    std::u16string TavGuid; // filled by the service
    std::u16string Name;    // the unit's file name without folder and extension
    std::u16string Text1, Text2, Text3, Text4, Text5;
    // Where the entry comes from, so that a later import of the same unit is recognised.
    std::u16string SourceTavId; // the unit's TavId
    std::u16string SourcePath;  // the unit file as it was imported
    int32_t SourceVersion = 0;  // its layout version before the upgrade (0: not known)
    std::u16string ImportStart; // when the run began, "YYYY-MM-DD hh:mm:ss"
};

struct SLiteratureFolder {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    std::u16string Name;
    std::u16string FolderGuid; // filled by the service
    std::u16string ParentGuid; // the parent folder's GUID, or the TavGuid for a top-level folder
    std::u16string TavGuid;
    std::u16string Text1, Text2, Text3, Text4, Text5;
    int32_t Int1 = 0, Int2 = 0, Int3 = 0, Int4 = 0;
};

struct SLiteratureInfo {
    int32_t RecordState = 1;
    int32_t RowId = -1;
    int32_t Reserved = -1;
    std::u16string DOI;
    std::u16string Title, Author, Source, DataType, SrcDatabase, PubTime, Keyword, Summary, FilePath, Link,
        Pub_Year, Period, PageCount, Page, ReferenceNum, Roll, City;
    std::u16string Degree, Teacher, ImportantDegree, MediaEn, EPubLocate, EPublisher, ETitle, Media, ISSN, Country,
        Version, Prints, PubLocate, EAuthor, CountryEn, VersionEn, MediaAddressEn, DegreeType, Department,
        ApplicationNum, PublicationDate, InternationalClassification, DutyPersonEn, ModifiedDate, Publisher;
    std::u16string CopiedText; // the unit record's unnamed text, passed through unchanged
    std::u16string LCID;
    std::u16string LiterGuid; // filled by the service: the literature's GUID in the library
    std::u16string InternationalDOI, FileName, TableName, TavGuid, KnowledgeID;
    int32_t Int1 = 0;
    std::u16string Organ, OwnerName, OdataCode;
    std::u16string Text1, Text2;
    int32_t Int2 = 0;
};

struct SLiteratureRelate {
    int32_t RecordState = 1;
    int32_t RowId = -1;
    std::u16string LiterGuid; // the library GUID of the literature
    std::u16string CreateTime, LastReadTime, Adjunct, Remark;
    std::u16string Text1, Text2;
    std::u16string OwnerName, MarkPos;
    int32_t Int1 = 0;
    int32_t Locked = 0;
    int32_t Int2 = 0;
    int32_t LastReadPos = 0;
    int32_t ReadingProgress = 0;
    int32_t Int3 = 0;
    int32_t FileType = 0;
    int32_t Int4 = 0;
};

struct SNoteInfo {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t Int1 = 0;
    std::u16string Text1;
    std::u16string LiterGuid; // library GUID of the note's literature
    std::u16string TavGuid, OwnerName, Title, Content, ContentText, Comments, Location, CreateTime, ModifyTime;
    std::u16string CopiedText;
    std::u16string Source;
    int32_t Importance = 0;
    int32_t CopiedInt = 0;
    int32_t TypeID = 1;
    int32_t IsPublic = 3;
    std::u16string PosID, Path, Adjunct, KnowledgeID;
    int32_t IsCompiled = 0, recycled = 0, IsRemoved = 0, IsModify = 0;
    std::u16string UnitID;
    int32_t RecycledAgain = 0;
};

// An earlier entry of the same unit, found when an import completed, and what became of it.
struct SEarlierEntry {
    std::u16string TavGuid;
    std::u16string Name;
    std::u16string CreateTime;
    bool Complete = false;
    bool Removed = false;
};
