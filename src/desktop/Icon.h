#pragma once
// Tray-sized icons: one 16 x 16 image with its transparency mask, and a list of them for
// components that cycle through several.

#include <string>
#include <vector>

#include "platform/TrayShell.h"
#include "toolkit/Component.h"

class TIcon : public TPersistent {
public:
    std::string ClassName() const override { return "TIcon"; }

    bool Empty() const { return !FHasImage; }
    // The image as the tray record carries it; nullptr while the icon is empty.
    const TTrayImage* Handle() const { return FHasImage ? &FImage : nullptr; }
    void SetImage(const TTrayImage& image);
    void Clear();
    void Assign(const TIcon& source);

    TNotifyEvent OnChange;

private:
    void Changed();

    TTrayImage FImage;
    bool FHasImage = false;
};

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* AOwner) : TComponent(AOwner) {}
    std::string ClassName() const override { return "TImageList"; }

    int Count() const { return static_cast<int>(FImages.size()); }
    void Add(const TIcon& icon);
    // Copies image index into icon; an index outside the list leaves the icon as it is.
    void GetIcon(int index, TIcon& icon) const;

private:
    std::vector<TTrayImage> FImages;
};
