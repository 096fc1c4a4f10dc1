#include "library/LibraryErrors.h"

#include "support/TextConvert.h"

#include <string>

std::u16string LibraryErrorText(int32_t code)
{
    switch (code) {
    case kLibraryOk:
        return u"操作成功";
    case kLibraryNotInitialized:
        return u"个人图书馆服务尚未初始化";
    case kLibraryNoUser:
        return u"没有登录的用户，无法打开个人图书馆";
    case kLibraryBadUserName:
        return u"用户名不能用作文件夹名称";
    case kLibraryCannotOpen:
        return u"无法创建或打开个人图书馆数据库";
    case kLibraryBadArgument:
        return u"参数无效：记录为空或GUID格式不正确";
    case kLibraryUnitNotFound:
        return u"个人图书馆中没有该学习单元";
    case kLibraryFolderNotFound:
        return u"学习单元中没有该文献夹";
    case kLibraryLiteratureNotFound:
        return u"学习单元中没有该文献";
    case kLibraryNoteNotFound:
        return u"学习单元中没有该位置的笔记";
    case kLibraryNoteExists:
        return u"学习单元中已有该位置的笔记";
    case kLibraryStorageError:
        return u"写入个人图书馆数据库失败，操作已撤销";
    case kLibrarySourceMissing:
        return u"附件源文件不存在";
    case kLibraryCopyFailed:
        return u"附件复制失败";
    case kLibraryRemoveFailed:
        return u"学习单元的附件文件删除失败";
    case kLibraryNoGuid:
        return u"无法生成新的GUID";
    case kLibraryNoLibrary:
        return u"该用户还没有个人图书馆";
    case kLibraryAmbiguousEntry:
        return u"该GUID前缀对应多个学习单元";
    case kLibraryEntryIncomplete:
        return u"该学习单元尚未导入完成";
    default:
        return u"未知错误（错误码 " + ToWide(std::to_string(code)) + u"）";
    }
}
