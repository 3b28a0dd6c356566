#include "desktop/Icon.h"

void TIcon::SetImage(const TTrayImage& image) {
    FImage = image;
    FHasImage = true;
    Changed();
}

void TIcon::Clear() {
    FImage = TTrayImage();
    FHasImage = false;
    Changed();
}

void TIcon::Assign(const TIcon& source) {
    FImage = source.FImage;
    FHasImage = source.FHasImage;
    Changed();
}

void TIcon::Changed() {
    if (OnChange) {
        OnChange(this);
    }
}

void TImageList::Add(const TIcon& icon) {
    if (const TTrayImage* image = icon.Handle()) {
        FImages.push_back(*image);
    }
}

void TImageList::GetIcon(int index, TIcon& icon) const {
    if (index >= 0 && index < Count()) {
        icon.SetImage(FImages[static_cast<size_t>(index)]);
    }
}
