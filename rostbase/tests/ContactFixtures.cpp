#include "ContactFixtures.h"

#include "RostApi.h"
#include "TestSupport.h"
#include "Text.h"

std::wstring DownloadedBook() {
    return LR"(<AddressList version="1.0">
<FriendList id="1">
<Group id="10" name="电话好友">
<Friend id="13900000001" nickname="张三" name="张伟" sex="1" birthday="19800101" email="z@x.cn" voip="801" phone="01088" mobile="13900000001" xlt="x1" province="11" city="北京" age="45"/>
<Group id="101" name="家人">
<Friend id="13900000002" nickname="妈妈" name="" sex="2" birthday="" email="" voip="" phone="" mobile="13900000002" xlt="" province="" city="" age="70"/>
<Group id="1011" name="远亲">
<Friend id="13900000003" nickname="表哥" name="李" sex="1" birthday="" email="" voip="" phone="" mobile="" xlt="" province="" city="上海" age="-1"/>
</Group>
</Group>
<Group id="102" name="同事"/>
</Group>
<Group id="11" name="网上好友">
<Friend id="u2001" nickname="网友甲" name="王" sex="0" birthday="" email="a@b" voip="" phone="" mobile="" xlt="" province="" city="" age="30">
<ServicePolicy id="9" name="在线服务" code0="k=1" code1="host=127.0.0.1" code2="p" status="1"/>
<ServicePolicy id="19" name="售后" code0="user" code1="pw" status="0"/>
</Friend>
<Group id="111" name="论坛"><Friend id="u2002" nickname="斑竹" name="" sex="" birthday="" email="" voip="" phone="" mobile="" xlt="" province="" city="" age=""/></Group>
</Group>
</FriendList>
<BlackList id="0">
<Friend id="bad1" nickname="骚扰" name="" sex="1" birthday="" email="" voip="" phone="" mobile="13000000000" xlt="" province="" city="" age="20"/>
</BlackList>
<StrangerList>
<Friend id="s1" nickname="路人" name="" sex="" birthday="" email="" voip="" phone="" mobile="" xlt="" province="" city="" age=""/>
</StrangerList>
</AddressList>
)";
}

std::string GbkFile(const std::wstring& text) {
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + vantor::EncodeText(text, 936);
}

void PutContactFile(const std::wstring& account, const std::string& bytes) {
    testkit::WriteFileBytes(ContactFileOf(account), bytes);
}
