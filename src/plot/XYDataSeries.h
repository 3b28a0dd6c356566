#pragma once
// A series of (x, y) points kept in the order they were added, with their extents cached:
// kept up to date while points are only added, rebuilt in one pass on the first read after a
// delete. Changes reach the plot at once, or as one notification at the end of a locked batch.
// Points with a value that is not finite are kept (the owner counts its points) but take no
// part in the extents, and are not drawn.

#include <cstdint>
#include <vector>

#include "plot/DataSeries.h"
#include "plot/LineAttr.h"

class Tsp_XYDataSeries : public Tsp_DataSeries {
public:
    explicit Tsp_XYDataSeries(TComponent* AOwner);
    ~Tsp_XYDataSeries() override;

    std::string ClassName() const override { return "Tsp_XYDataSeries"; }

    void AddXY(double X, double Y);
    // Removes point Index (0 is the oldest); an index out of range is ignored.
    void Delete(int32_t Index);
    void Clear();
    int32_t Count() const { return FCount; }
    double XValue(int32_t Index) const { return FXV[static_cast<size_t>(Index)]; }
    double YValue(int32_t Index) const { return FYV[static_cast<size_t>(Index)]; }
    // The highest index the storage holds without growing.
    int32_t CapacityBound() const { return FCapacityBound; }

    bool GetXMin(double& value) override;
    bool GetXMax(double& value) override;
    bool GetYMin(double& value) override;
    bool GetYMax(double& value) override;

    // While true the plot hears nothing; setting it back to false tells it once.
    bool LockInvalidate() const { return FLockInvalidate; }
    void SetLockInvalidate(bool value);
    void SetActive(bool value);

    Tsp_LineAttr& LineAttr() { return FLineAttr; }
    const Tsp_LineAttr& LineAttr() const { return FLineAttr; }
    void SetLineAttr(const Tsp_LineAttr& value) { FLineAttr.Assign(value); }

protected:
    // A line or point attribute changed: repaint the field, keeping layout and ranges.
    virtual void AttrChanged(TObject* Sender);

private:
    void ValuesChanged();
    bool ValidExtents();
    void TakeExtents(double X, double Y);
    bool Extent(double Tsp_XYDataSeries::*field, double& value);

    int32_t FCount = 0;
    int32_t FCapacityBound = 32;
    int32_t FGrowthStep = 32;
    std::vector<double> FXV;
    std::vector<double> FYV;
    double FXMin = 0;
    double FXMax = 0;
    double FYMin = 0;
    double FYMax = 0;
    bool FExtentsValid = false;
    bool FHasExtents = false;  // some point has finite values
    Tsp_LineAttr FLineAttr;
    bool FLockInvalidate = false;
};
