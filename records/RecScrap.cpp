#include "records/RecScrap.h"

CRecClipStream::CRecClipStream() {
    fFile.OpenWrite(kRecScrapCode, kRecScrapCode, fBuf);
}

CRecClipStream::~CRecClipStream() {
    fFile.Close();
}

void CRecClipStream::Write(const CRecord* record) {
    if (fOpen) fFile.WriteRecord(record);
}

LScrapData* CRecClipStream::Detach(const LScrapType& type) {
    if (!fOpen) return nullptr;
    fOpen = false;
    fFile.Close();
    if (fFile.WriteFailed()) return nullptr;
    LScrapData* data = new LScrapData;
    if (!data->AddItem(type, fBuf.Data(), fFile.WrittenSize(), 0)) {
        data->Release();
        return nullptr;
    }
    return data;
}

CRecScrapReader::CRecScrapReader(CDropSource* source, const LScrapType& type)
    : CDropDataReader(source) {
    GetData(type, 0, &fData, &fSize);
    fFile.OpenRead(fData, fSize);
}
