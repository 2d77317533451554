// Compiles every public header of the toolkit in one translation unit, as a host that
// uses several widgets does: a name defined by two headers fails this file.
#include <ui/AlertController.h>
#include <ui/AlertView.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/BarItem.h>
#include <ui/BezierPath.h>
#include <ui/Button.h>
#include <ui/CairoTypes.h>
#include <ui/CollectionView.h>
#include <ui/CollectionViewLayout.h>
#include <ui/Color.h>
#include <ui/Control.h>
#include <ui/DatePicker.h>
#include <ui/DelegateProtocols.h>
#include <ui/DeviceStatus.h>
#include <ui/Font.h>
#include <ui/Geometry.h>
#include <ui/GeometryValues.h>
#include <ui/GestureRecognizer.h>
#include <ui/Image.h>
#include <ui/ImageContext.h>
#include <ui/ImageView.h>
#include <ui/IndexPath.h>
#include <ui/Label.h>
#include <ui/Layer.h>
#include <ui/NavigationController.h>
#include <ui/PixelOps.h>
#include <ui/Renderer.h>
#include <ui/Screen.h>
#include <ui/ScrollView.h>
#include <ui/SearchBar.h>
#include <ui/Slider.h>
#include <ui/TableView.h>
#include <ui/TargetAction.h>
#include <ui/Text.h>
#include <ui/TextField.h>
#include <ui/TextView.h>
#include <ui/Touch.h>
#include <ui/TouchInjector.h>
#include <ui/View.h>
#include <ui/ViewController.h>
#include <ui/ViewControllerTransitioning.h>
#include <ui/Window.h>

#include <gtest/gtest.h>

namespace {

TEST(PublicHeaders, TableAndCollectionShareOneIndexPath) {
    ui::IndexPath path = ui::IndexPath::forRow(3, 1);
    EXPECT_EQ(path.section, 1);
    EXPECT_EQ(path.row(), 3);
    EXPECT_EQ(path.item, 3);
    EXPECT_EQ(path, ui::IndexPath::forItem(3, 1));
    EXPECT_LT(path, (ui::IndexPath{1, 4}));
    EXPECT_LT(path, (ui::IndexPath{2, 0}));
}

}  // namespace
