// The platform played when nobody loaded a script: enough for the local demo to log in,
// find the presence service, a pending service, two boards with two subjects each, one
// notice, the page addresses and a small directory.
#include "DemoPlatform.h"

namespace zumstub {

const wchar_t* DemoPlatformText() {
    return LR"([Stub]
strict=0
subscribe_arg=auto

[Customer]
account=demo01
nickname=演示用户
province=广东
city=深圳
sex=1
age=30

[Suite]
id=DEMO

[Services]
list=9,19

[Service.9]
name=在线通讯录
desc=好友在线状态与通讯录
state=1
locator=http://127.0.0.1/service/9
codes=2
code0=iPlanetDirectoryPro=DEMOSSO;Path=/
code1=JSESSIONID=DEMOSESSION;Path=/web

[Service.19]
name=家庭助理
desc=家庭生活服务
state=0
locator=http://127.0.0.1/service/19
codes=2
code0=demo01
code1=demo-pass

[Catalog]
count=2

[Board.0]
name=生活服务
desc=日常生活信息
res=board-101
fourth=
subjects=2

[Board.0.Subject.0]
name=天气预报
service=19
text2=每日天气
text3=
link=http://127.0.0.1/life/weather.htm
access=1

[Board.0.Subject.1]
name=交通出行
service=19
text2=路况与公交
text3=
link=http://127.0.0.1/life/traffic.htm
access=1

[Board.1]
name=休闲娱乐
desc=音乐与影视
res=board-102
fourth=
subjects=2

[Board.1.Subject.0]
name=音乐
service=9
text2=在线音乐
text3=
link=http://127.0.0.1/fun/music.htm
access=0

[Board.1.Subject.1]
name=影视
service=9
text2=影视点播
text3=
link=http://127.0.0.1/fun/movie.htm
access=0

[Notice]
count=1

[Notice.0]
t0=欢迎使用
t1=演示平台已就绪
t2=20240101
t3=system
t4=info
value=1

[DIY]
indexurl=web\index.htm
indexurl.text=首页
payfeeurl=web\payfee.htm
payfeeurl.text=缴费

[Zone]
page_size=10
users=demo02,demo03

[User.demo02]
nickname=小王
province=广东
city=广州
sex=1
age=28
phone=02000000001

[User.demo03]
nickname=小李
province=北京
city=北京
sex=2
age=25
phone=01000000002
)";
}

}  // namespace zumstub
